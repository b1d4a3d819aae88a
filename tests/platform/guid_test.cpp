// GUID text forms, ProgIDs from the registry, and error objects.
#include <string>
#include <thread>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_registry.h"
#include "fgplatform/win32.h"

namespace {

using GuidText = fgtest::BaselineTest;

constexpr GUID kSample = {0x4C3A0C4C, 0x1D37, 0x4C85, {0x81, 0xC5, 0xCD, 0x3F, 0xFD, 0xB5, 0x9C, 0x65}};

TEST_F(GuidText, FormatsAndParsesTheBracedForm) {
  char16_t buf[39];
  EXPECT_EQ(StringFromGUID2(kSample, buf, 39), 39);
  EXPECT_EQ(std::u16string(buf), u"{4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C65}");
  EXPECT_EQ(StringFromGUID2(kSample, buf, 38), 0) << "no room for the terminator";
  GUID back = GUID_NULL;
  EXPECT_EQ(CLSIDFromString(u"{4c3a0c4c-1d37-4c85-81c5-cd3ffdb59c65}", &back), S_OK);
  EXPECT_EQ(back, kSample);
  EXPECT_EQ(CLSIDFromString(u"{4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C6}", &back), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromString(u"{4C3A0C4C+1D37-4C85-81C5-CD3FFDB59C65}", &back), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromString(nullptr, &back), S_OK);
  EXPECT_EQ(back, GUID_NULL);
  LPOLESTR text = nullptr;
  ASSERT_EQ(StringFromCLSID(kSample, &text), S_OK);
  EXPECT_EQ(std::u16string(text), u"{4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C65}");
  CoTaskMemFree(text);
  fgtest::FailCall(fgtest::Service::TaskMemory, 1);
  EXPECT_EQ(StringFromCLSID(kSample, &text), E_OUTOFMEMORY);
}

TEST_F(GuidText, ProgIdsComeFromTheRegistry) {
  fgtest::TemporaryRegistry registry;
  LPOLESTR progId = reinterpret_cast<LPOLESTR>(1);
  EXPECT_EQ(ProgIDFromCLSID(kSample, &progId), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(progId, nullptr);
  GUID clsid = GUID_NULL;
  EXPECT_EQ(CLSIDFromProgID(u"Farrowgate.DialogHelper.1", &clsid), CO_E_CLASSSTRING);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C65}\\ProgID", 0, nullptr,
                            0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char16_t name[] = u"Farrowgate.DialogHelper.1";
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(name), sizeof name);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"Farrowgate.DialogHelper.1\\CLSID", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char16_t guid[] = u"{4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C65}";
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(guid), sizeof guid);
  RegCloseKey(key);
  ASSERT_EQ(ProgIDFromCLSID(kSample, &progId), S_OK);
  EXPECT_EQ(std::u16string(progId), name);
  CoTaskMemFree(progId);
  EXPECT_EQ(CLSIDFromProgID(u"farrowgate.dialoghelper.1", &clsid), S_OK);
  EXPECT_EQ(clsid, kSample);
  EXPECT_EQ(CLSIDFromString(u"Farrowgate.DialogHelper.1", &clsid), S_OK) << "a ProgID is accepted too";
}

TEST_F(GuidText, ErrorObjectsArePerThreadAndTakenOnce) {
  ICreateErrorInfo* create = nullptr;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  create->SetDescription(const_cast<LPOLESTR>(u"described"));
  IErrorInfo* info = nullptr;
  ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  create->Release();
  EXPECT_EQ(SetErrorInfo(0, info), S_OK);
  info->Release();
  IErrorInfo* other = reinterpret_cast<IErrorInfo*>(1);
  std::thread([&] { GetErrorInfo(0, &other); }).join();
  EXPECT_EQ(other, nullptr) << "another thread has none";
  IErrorInfo* taken = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &taken), S_OK);
  BSTR d = nullptr;
  taken->GetDescription(&d);
  EXPECT_EQ(std::u16string(d), u"described");
  SysFreeString(d);
  taken->Release();
  EXPECT_EQ(GetErrorInfo(0, &taken), S_FALSE);
  EXPECT_EQ(taken, nullptr);
  fgtest::FailCall(fgtest::Service::ErrorInfo, 1);
  EXPECT_EQ(CreateErrorInfo(&create), E_OUTOFMEMORY);
  EXPECT_EQ(create, nullptr);
}

}  // namespace
