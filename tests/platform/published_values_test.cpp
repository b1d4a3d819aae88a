// Published values as a client written elsewhere knows them: each row's
// value is written out here from its public documentation, not taken from
// our headers, so a wrong header value fails here first.
#include <string>

#include "fgplatform/test_baseline.h"
#include "fgplatform/win32.h"

namespace {

using PublishedValues = fgtest::BaselineTest;

struct InterfaceId {
  const char* name;
  const IID& iid;
  const char16_t* published;
};

// IErrorInfo: the interface's GuidAttribute in the Visual Studio shell
// interop reference ("IErrorInfo Interface"); ISupportErrorInfo: its
// GuidAttribute in the SQL Server ExecPackageTask reference
// ("ISupportErrorInfo Interface"); ICreateErrorInfo: the value an audit of
// the published headers gave (no page at hand prints it), of the same
// family of automation ids (…-547D-101B-8E65-08002B2BD119).
const InterfaceId kErrorInterfaces[] = {
    {"IErrorInfo", IID_IErrorInfo, u"{1CF2B120-547D-101B-8E65-08002B2BD119}"},
    {"ICreateErrorInfo", IID_ICreateErrorInfo, u"{22F03340-547D-101B-8E65-08002B2BD119}"},
    {"ISupportErrorInfo", IID_ISupportErrorInfo, u"{DF0B3D60-548F-101B-8E65-08002B2BD119}"},
};

TEST_F(PublishedValues, TheErrorInformationInterfacesHaveTheirPublishedIds) {
  for (const InterfaceId& row : kErrorInterfaces) {
    char16_t text[39];
    ASSERT_EQ(StringFromGUID2(row.iid, text, 39), 39);
    EXPECT_EQ(std::u16string(text), std::u16string(row.published)) << row.name;
  }
  // An error object answers for the ids a client elsewhere asks with.
  ICreateErrorInfo* created = nullptr;
  ASSERT_EQ(CreateErrorInfo(&created), S_OK);
  for (const char16_t* published : {kErrorInterfaces[0].published, kErrorInterfaces[1].published}) {
    IID asked{};
    ASSERT_EQ(CLSIDFromString(published, &asked), S_OK);
    IUnknown* answered = nullptr;
    EXPECT_EQ(created->QueryInterface(asked, reinterpret_cast<void**>(&answered)), S_OK);
    if (answered != nullptr) answered->Release();
  }
  created->Release();
}

// "IS_ERROR macro (winerror.h)": a generic test for errors on any status
// value, the severity bit shifted down from an unsigned long, which is 32
// bits on Windows (64 here, where it would never be 1).
TEST_F(PublishedValues, IsErrorTellsFailuresOnAnyBuild) {
  EXPECT_TRUE(IS_ERROR(E_FAIL));
  EXPECT_TRUE(IS_ERROR(static_cast<HRESULT>(0x80000000)));
  EXPECT_FALSE(IS_ERROR(S_OK));
  EXPECT_FALSE(IS_ERROR(S_FALSE));
  EXPECT_FALSE(IS_ERROR(0x7FFFFFFF));
}

}  // namespace
