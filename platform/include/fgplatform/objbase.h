// Component runtime: task memory.
//
// Task memory comes from a heap of its own so that tests can count live
// blocks. CoTaskMemAlloc(0) answers a valid, distinct pointer.
#pragma once

#include "fgplatform/basetypes.h"
#include "fgplatform/winerror.h"

FG_API LPVOID STDAPICALLTYPE CoTaskMemAlloc(SIZE_T cb);
FG_API LPVOID STDAPICALLTYPE CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
FG_API void STDAPICALLTYPE CoTaskMemFree(LPVOID pv);

// GUID text: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
// StringFromGUID2 answers 39 (the characters with the terminator), or 0
// when the buffer is smaller. CLSIDFromString takes that form (either
// case) or a ProgID; null or empty text gives CLSID_NULL; anything else is
// CO_E_CLASSSTRING.
//
// ProgIDs come from the registry: HKCR\CLSID\{...}\ProgID (default value)
// and HKCR\ProgID\CLSID (default value). ProgIDFromCLSID answers
// REGDB_E_CLASSNOTREG when the class has no ProgID, CLSIDFromProgID
// CO_E_CLASSSTRING when the ProgID names no class. Both answer task memory
// the caller frees.
FG_API int STDAPICALLTYPE StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
FG_API HRESULT STDAPICALLTYPE StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz);
FG_API HRESULT STDAPICALLTYPE StringFromIID(REFIID rclsid, LPOLESTR* lplpsz);
FG_API HRESULT STDAPICALLTYPE CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
FG_API HRESULT STDAPICALLTYPE IIDFromString(LPCOLESTR lpsz, LPIID lpiid);
FG_API HRESULT STDAPICALLTYPE ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);
FG_API HRESULT STDAPICALLTYPE CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

interface IUnknown;

// Activation. A thread calls CoInitialize(Ex) before any activation call
// (else CO_E_NOTINITIALIZED) and CoUninitialize once for each successful
// call; a second call answers S_FALSE, one asking for the other model
// RPC_E_CHANGED_MODE (and counts nothing). The models are recorded, not
// enforced: calls are made on the caller's thread.
//
// CoGetClassObject serves in-process classes (CLSCTX_INPROC_SERVER) from
// HKCR\CLSID\{...}\InprocServer32's default value (REG_SZ, or REG_EXPAND_SZ
// with %NAME% taken from the environment): the module is loaded once per
// process, by one thread when several ask at once, and kept until
// CoFreeUnusedLibraries finds its DllCanUnloadNow answering S_OK. A class
// without the key answers REGDB_E_CLASSNOTREG, a module file that is not
// there CO_E_DLLNOTFOUND, one the loader refuses otherwise the loader's
// code as an HRESULT, one without DllGetClassObject CO_E_ERRORINDLL; the
// module's own answer (CLASS_E_CLASSNOTAVAILABLE) is passed on.
//
// CoCreateInstance creates through the class object's IClassFactory.
// Built in: the global interface table (CLSID_StdGlobalInterfaceTable; one
// per process, no outer object, in-process context only), which holds a
// reference on each registered interface until it is revoked; cookies
// start at 1; an unknown cookie is E_INVALIDARG. Also built in: the
// component category manager (comcat.h), under the same conditions.
#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_DISABLE_OLE1DDE 0x4
#define COINIT_SPEED_OVER_MEMORY 0x8

FG_API HRESULT STDAPICALLTYPE CoInitialize(LPVOID pvReserved);
FG_API HRESULT STDAPICALLTYPE CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
FG_API void STDAPICALLTYPE CoUninitialize();
FG_API HRESULT STDAPICALLTYPE CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                                               LPVOID* ppv);
FG_API HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                                               LPVOID* ppv);
FG_API void STDAPICALLTYPE CoFreeUnusedLibraries();
