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
#include "fgplatform/test_registry.h"
#include "fgplatform/win32.h"
#include "component_module.h"
#include "dialog/dialog_identity.h"
#include "dialog/dialog_interface.h"

namespace {

using fgtest::kDialogHelperClass;

class FaultSweep : public fgtest::ComponentModuleTest {
 protected:
  void TearDown() override {
    Reports();  // assertion reports of failed allocations are expected
    ComponentModuleTest::TearDown();
  }
  // Creates an object (plain, or aggregated in `outer`), then releases it.
  long CreateAndRelease(IUnknown* outer) {
    IClassFactory* factory = nullptr;
    HRESULT hr = m_getClassObject(kDialogHelperClass, IID_IClassFactory, reinterpret_cast<void**>(&factory));
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
    HRESULT hr = m_getClassObject(kDialogHelperClass, IID_IClassFactory, reinterpret_cast<void**>(&factory));
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
  // A new object through the factory, asked for `iid`; null on failure
  // with the code in `hr`.
  template <class I>
  I* Create(REFIID iid, HRESULT& hr) {
    IClassFactory* factory = nullptr;
    hr = m_getClassObject(kDialogHelperClass, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return nullptr;
    I* object = nullptr;
    hr = factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object));
    factory->Release();
    return SUCCEEDED(hr) ? object : nullptr;
  }
  static void AnswerTwoFiles() {
    fgtest::DialogAnswer answer;
    answer.kind = fgtest::DialogAnswer::Files;
    answer.paths = {u"/picked/one.txt", u"/picked/two.txt"};
    fgtest::QueueDialogAnswer(answer);
  }
  // Every property put and get and OpenDialog through the interface's own
  // slots; the results must be complete when every call succeeded.
  long DirectCalls(bool& complete) {
    complete = false;
    HRESULT hr = S_OK;
    IDialogHelper* object = Create<IDialogHelper>(IID_IDialogHelper, hr);
    if (object == nullptr) return hr;
    BSTR text = SysAllocString(u"Text files|*.txt|");
    if (text == nullptr) hr = E_OUTOFMEMORY;
    if (SUCCEEDED(hr)) hr = object->put_Title(text);
    if (SUCCEEDED(hr)) hr = object->put_Filter(text);
    if (SUCCEEDED(hr)) hr = object->put_FileName(text);
    SysFreeString(text);
    if (SUCCEEDED(hr)) hr = object->put_MultiSelect(VARIANT_TRUE);
    BSTR title = nullptr, filter = nullptr, name = nullptr;
    if (SUCCEEDED(hr)) hr = object->get_Title(&title);
    if (SUCCEEDED(hr)) hr = object->get_Filter(&filter);
    VARIANT_BOOL multi = 0, chosen = 0;
    if (SUCCEEDED(hr)) hr = object->get_MultiSelect(&multi);
    AnswerTwoFiles();
    if (SUCCEEDED(hr)) hr = object->OpenDialog(&chosen);
    fgtest::ClearDialogs();
    if (SUCCEEDED(hr)) hr = object->get_FileName(&name);
    VARIANT names;
    VariantInit(&names);
    if (SUCCEEDED(hr)) hr = object->get_FileNames(&names);
    complete = SUCCEEDED(hr) && title != nullptr && std::u16string(title) == u"Text files|*.txt|" &&
               filter != nullptr && std::u16string(filter) == u"Text files|*.txt|" && multi == VARIANT_TRUE &&
               chosen == VARIANT_TRUE && name != nullptr && std::u16string(name) == u"/picked|one.txt|two.txt" &&
               names.vt == (VT_ARRAY | VT_VARIANT) && names.parray->rgsabound[0].cElements == 2;
    SysFreeString(title);
    SysFreeString(filter);
    SysFreeString(name);
    VariantClear(&names);
    object->Release();
    return hr;
  }
  // OpenDialog, MultiSelect and FileNames through Invoke.
  long LateBoundDialog(bool& complete) {
    complete = false;
    HRESULT hr = S_OK;
    IDispatch* object = Create<IDispatch>(IID_IDispatch, hr);
    if (object == nullptr) return hr;
    VARIANT flag;
    VariantInit(&flag);
    flag.vt = VT_BOOL;
    flag.boolVal = VARIANT_TRUE;
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS putArgs{&flag, &put, 1, 1};
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    hr = object->Invoke(4, IID_NULL, 0, DISPATCH_PROPERTYPUT, &putArgs, nullptr, nullptr, nullptr);
    VARIANT multi, chosen, names;
    VariantInit(&multi);
    VariantInit(&chosen);
    VariantInit(&names);
    EXCEPINFO excep{};
    if (SUCCEEDED(hr)) hr = object->Invoke(4, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &multi, nullptr, nullptr);
    AnswerTwoFiles();
    if (SUCCEEDED(hr)) hr = object->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, &chosen, &excep, nullptr);
    fgtest::ClearDialogs();
    if (SUCCEEDED(hr)) hr = object->Invoke(5, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &names, nullptr, nullptr);
    complete = SUCCEEDED(hr) && multi.vt == VT_BOOL && multi.boolVal == VARIANT_TRUE && chosen.vt == VT_BOOL &&
               chosen.boolVal == VARIANT_TRUE && names.vt == (VT_ARRAY | VT_VARIANT) &&
               names.parray->rgsabound[0].cElements == 2;
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    VariantClear(&multi);
    VariantClear(&chosen);
    VariantClear(&names);
    object->Release();
    return hr;
  }
  // The class's type information through IProvideClassInfo.
  long ClassInfo() {
    HRESULT hr = S_OK;
    IProvideClassInfo* object = Create<IProvideClassInfo>(IID_IProvideClassInfo, hr);
    if (object == nullptr) return hr;
    ITypeInfo* info = nullptr;
    hr = object->GetClassInfo(&info);
    if (SUCCEEDED(hr)) {
      TYPEATTR* attr = nullptr;
      hr = info->GetTypeAttr(&attr);
      if (SUCCEEDED(hr)) {
        if (attr->typekind != TKIND_COCLASS || !IsEqualGUID(attr->guid, kDialogHelperClass)) hr = E_UNEXPECTED;
        info->ReleaseTypeAttr(attr);
      }
      info->Release();
    }
    object->Release();
    return hr;
  }
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

TEST_F(FaultSweep, DirectAndLateBoundPropertiesAndOpenDialog) {
  for (fgtest::Service service :
       {fgtest::Service::Heap, fgtest::Service::SystemString, fgtest::Service::SafeArray}) {
    bool complete = false;
    auto completeOnSuccess = [&](const fgtest::FaultRun& run) {
      EXPECT_TRUE(!run.succeeded || complete) << "success brings every result: " << run.Describe();
    };
    fgtest::FaultLoopCounts direct =
        fgtest::RunFaultLoop(service, S_OK, E_OUTOFMEMORY, [&] { return DirectCalls(complete); }, completeOnSuccess);
    fgtest::FaultLoopCounts lateBound = fgtest::RunFaultLoop(
        service, S_OK, E_OUTOFMEMORY, [&] { return LateBoundDialog(complete); }, completeOnSuccess);
    EXPECT_GT(direct.once, 0) << fgtest::ServiceName(service);
    EXPECT_GT(lateBound.once, 0) << fgtest::ServiceName(service);
  }
}

TEST_F(FaultSweep, ClassInformation) {
  // The class's type information comes from the registered type library.
  fgtest::TemporaryRegistry registry;
  auto registerServer = fgtest::ExportOf<HRESULT(STDAPICALLTYPE*)()>(m_module, "DllRegisterServer");
  ASSERT_EQ(registerServer(), S_OK);
  for (fgtest::Service service : {fgtest::Service::Heap, fgtest::Service::SystemString}) {
    fgtest::FaultLoopCounts counts =
        fgtest::RunFaultLoop(service, S_OK, {E_OUTOFMEMORY, TYPE_E_CANTLOADLIBRARY}, [&] { return ClassInfo(); });
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
  // The mapping service also commits the trace store's pages, so its
  // faults reach every trace registration made at load.
  for (fgtest::Service service : {fgtest::Service::CriticalSection, fgtest::Service::Mapping}) {
    fgtest::FaultLoopCounts counts = fgtest::RunFaultLoop(service, S_OK, HRESULT_FROM_WIN32(ERROR_DLL_INIT_FAILED),
                                                          LoadAndUnload);
    EXPECT_GT(counts.once, 0) << fgtest::ServiceName(service);
  }
  (void)fgtest::TakeDebugReports();
}

}  // namespace
