// Fault sweeps over the component's entry points, in the manner of
// allocation-failure testing: each scenario runs with the Nth fallible
// platform call failing (once, then from then on) for N = 1, 2, ... until a
// run fires no fault. Every run answers S_OK or the documented failure
// code of that service, lets no exception out, and the baseline fixture
// finds nothing left alive afterwards. The counts of fault points are
// printed.
#include <string>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_fault_loop.h"
#include "fgplatform/test_outer.h"
#include "fgplatform/win32.h"
#include "component_module.h"

namespace {

const CLSID kClass = {0x4C3A0C4C, 0x1D37, 0x4C85, {0x81, 0xC5, 0xCD, 0x3F, 0xFD, 0xB5, 0x9C, 0x65}};
typedef HRESULT(STDAPICALLTYPE* GetClassObjectFunc)(REFCLSID, REFIID, LPVOID*);

class FaultSweep : public fgtest::BaselineTest {
 protected:
  void SetUp() override {
    BaselineTest::SetUp();
    m_module = fgtest::LoadComponentModule();
    ASSERT_NE(m_module, nullptr);
    m_getClassObject = fgtest::ExportOf<GetClassObjectFunc>(m_module, "DllGetClassObject");
    ASSERT_NE(m_getClassObject, nullptr);
  }
  void TearDown() override {
    if (m_module != nullptr) FreeLibrary(m_module);
    Reports();  // assertion reports of failed allocations are expected
    BaselineTest::TearDown();
  }
  // Creates an object (plain, or aggregated in `outer`), then releases it.
  long CreateAndRelease(IUnknown* outer) {
    IClassFactory* factory = nullptr;
    HRESULT hr = m_getClassObject(kClass, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    IUnknown* object = nullptr;
    hr = factory->CreateInstance(outer, outer != nullptr ? IID_IUnknown : IID_IDispatch, reinterpret_cast<void**>(&object));
    factory->Release();
    if (SUCCEEDED(hr)) object->Release();
    return hr;
  }
  // Puts and gets every property through Invoke, and asks for the type
  // information.
  long LateBoundCalls() {
    IClassFactory* factory = nullptr;
    HRESULT hr = m_getClassObject(kClass, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    IDispatch* object = nullptr;
    hr = factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
    factory->Release();
    if (FAILED(hr)) return hr;
    const char16_t* names[] = {u"Title", u"Filter", u"FileName"};
    for (const char16_t* name : names) {
      if (FAILED(hr)) break;
      LPOLESTR n[1] = {const_cast<LPOLESTR>(name)};
      DISPID id = 0;
      hr = object->GetIDsOfNames(IID_NULL, n, 1, 0, &id);
      if (FAILED(hr)) break;
      VARIANT value;
      VariantInit(&value);
      value.vt = VT_BSTR;
      value.bstrVal = SysAllocString(u"a value of some length");
      if (value.bstrVal == nullptr) {
        hr = E_OUTOFMEMORY;
        break;
      }
      DISPID put = DISPID_PROPERTYPUT;
      DISPPARAMS args{&value, &put, 1, 1};
      hr = object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &args, nullptr, nullptr, nullptr);
      VariantClear(&value);
      DISPPARAMS none{nullptr, nullptr, 0, 0};
      VARIANT result;
      VariantInit(&result);
      if (SUCCEEDED(hr)) hr = object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
      VariantClear(&result);
    }
    ITypeInfo* info = nullptr;
    if (SUCCEEDED(hr)) hr = object->GetTypeInfo(0, 0, &info);
    if (info != nullptr) info->Release();
    object->Release();
    return hr;
  }
  HMODULE m_module = nullptr;
  GetClassObjectFunc m_getClassObject = nullptr;
};

TEST_F(FaultSweep, CreatingPlainAndAggregatedObjects) {
  fgtest::CountingOuter outer;
  for (fgtest::Service service : {fgtest::Service::Heap, fgtest::Service::SystemString}) {
    fgtest::FaultLoopCounts plain =
        fgtest::RunFaultLoop(service, S_OK, E_OUTOFMEMORY, [&] { return CreateAndRelease(nullptr); });
    fgtest::FaultLoopCounts aggregated =
        fgtest::RunFaultLoop(service, S_OK, E_OUTOFMEMORY, [&] { return CreateAndRelease(&outer); });
    EXPECT_GT(plain.once, 0) << fgtest::ServiceName(service);
    EXPECT_GT(aggregated.once, 0) << fgtest::ServiceName(service);
    EXPECT_EQ(outer.count, 1) << "the outer object's count is as it was";
  }
}

TEST_F(FaultSweep, LateBoundCallsAndTypeInformation) {
  for (fgtest::Service service : {fgtest::Service::Heap, fgtest::Service::SystemString}) {
    fgtest::FaultLoopCounts counts =
        fgtest::RunFaultLoop(service, S_OK, E_OUTOFMEMORY, [&] { return LateBoundCalls(); });
    EXPECT_GT(counts.once, 0) << fgtest::ServiceName(service);
  }
}

}  // namespace

namespace {

// Loading and unloading the module in a process that has not loaded it.
long LoadAndUnload() {
  HMODULE module = fgtest::LoadComponentModule();
  if (module == nullptr) return HRESULT_FROM_WIN32(GetLastError());
  FreeLibrary(module);
  return S_OK;
}

TEST(FaultSweepLoad, LoadingAndUnloadingTheModule) {
  // A part that cannot make its lock refuses the load; a trace store that
  // cannot be made leaves tracing silent and the load whole.
  for (fgtest::Service service : {fgtest::Service::CriticalSection, fgtest::Service::Mapping}) {
    fgtest::FaultLoopCounts counts = fgtest::RunFaultLoop(service, S_OK, HRESULT_FROM_WIN32(ERROR_DLL_INIT_FAILED),
                                                          LoadAndUnload);
    EXPECT_GT(counts.once, 0) << fgtest::ServiceName(service);
  }
  (void)fgtest::TakeDebugReports();
}

}  // namespace
