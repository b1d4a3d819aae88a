// The record layouts of a 32-bit build, held by static assertions. Compiled
// with -m32 -fsyntax-only in CI.
#include <cstddef>

#include "dialog/dialog_helper.h"
#include "fgplatform/win32.h"
#include "frame/comobject.h"
#include "frame/interface_table.h"
#include "frame/module.h"
#include "frame/object_map.h"
#include "holders/shared_string.h"
#include "holders/string_manager.h"
#include "trace/trace_store.h"

static_assert(sizeof(void*) == 4, "compile this check with -m32");

static_assert(sizeof(GUID) == 16);
static_assert(sizeof(VARIANT) == 16);
static_assert(offsetof(VARIANT, vt) == 0);
static_assert(offsetof(VARIANT, llVal) == 8);
static_assert(offsetof(VARIANT, bstrVal) == 8);

static_assert(sizeof(SAFEARRAYBOUND) == 8);
static_assert(offsetof(SAFEARRAYBOUND, cElements) == 0);
static_assert(offsetof(SAFEARRAYBOUND, lLbound) == 4);
static_assert(sizeof(SAFEARRAY) == 24);
static_assert(offsetof(SAFEARRAY, cDims) == 0);
static_assert(offsetof(SAFEARRAY, fFeatures) == 2);
static_assert(offsetof(SAFEARRAY, cbElements) == 4);
static_assert(offsetof(SAFEARRAY, cLocks) == 8);
static_assert(offsetof(SAFEARRAY, pvData) == 12);
static_assert(offsetof(SAFEARRAY, rgsabound) == 16);

static_assert(sizeof(CRITICAL_SECTION) == 24);
static_assert(sizeof(EXCEPINFO) == 32);
static_assert(sizeof(DISPPARAMS) == 16);

static_assert(sizeof(SharedStringRecord) == 12);
static_assert(offsetof(SharedStringRecord, text) == 0);
static_assert(offsetof(SharedStringRecord, narrow) == 4);
static_assert(offsetof(SharedStringRecord, refs) == 8);

// The dialog object: three interface pointers, then the root's count, then
// the members in their order.
static_assert(offsetof(CDialogHelper, m_dwRef) == 12);
static_assert(offsetof(CDialogHelper, m_bstrTitle) == 16);
static_assert(offsetof(CDialogHelper, m_bstrFileName) == 20);
static_assert(offsetof(CDialogHelper, m_bstrFilter) == 24);
static_assert(offsetof(CDialogHelper, m_bMultiSelect) == 28);
static_assert(offsetof(CDialogHelper, m_FileNames) == 32);

// The module records and their cbStruct values.
static_assert(sizeof(_FRAME_MODULE) == 36);
static_assert(sizeof(_FRAME_BASE_MODULE) == 56);
static_assert(sizeof(_FRAME_WIN_MODULE) == 44);
static_assert(sizeof(TermFuncNode) == 12);
static_assert(sizeof(CSimpleArray<HINSTANCE>) == 12);

// The counted string's 16-byte header.
static_assert(sizeof(CountedStringData) == 16);
static_assert(offsetof(CountedStringData, nStrLength) == 4);
static_assert(offsetof(CountedStringData, nAllocLength) == 8);
static_assert(offsetof(CountedStringData, nRefs) == 12);

// The earlier open-file request record handed to the dialog.
static_assert(OPENFILENAME_SIZE_VERSION_400W == 76);
static_assert(offsetof(OPENFILENAMEW, Flags) == 52);
static_assert(offsetof(OPENFILENAMEW, nFileOffset) == 56);

int main() { return 0; }

// Interface-table rows: the id pointer, the offset or argument, the function.
static_assert(sizeof(InterfaceEntry) == 12);
static_assert(offsetof(InterfaceEntry, dw) == 4);
static_assert(offsetof(InterfaceEntry, pFunc) == 8);
// The multi-threaded root: the count, then the section and its flag.
static_assert(offsetof(CComObjectRootEx<CComMultiThreadModel>, m_critsec) == 4);
static_assert(sizeof(CFrameObjectSection) == 28);

// The object map's rows and owner.
static_assert(sizeof(ObjectMapEntry) == 36);
static_assert(offsetof(ObjectMapEntry, pFactory) == 16);
static_assert(offsetof(ObjectMapEntry, pfnModuleEvent) == 32);
static_assert(sizeof(_FRAME_COM_MODULE) == 40, "cbStruct of the object map's owner");
static_assert(offsetof(_FRAME_COM_MODULE, m_csMap) == 16);

// The shared trace settings store, as another process reads it.
static_assert(sizeof(TraceSettings) == 16);
static_assert(offsetof(TraceSettings, nTraceLevel) == 0);
static_assert(offsetof(TraceSettings, eTraceStatus) == 4);
static_assert(offsetof(TraceSettings, nUseCount) == 8);
static_assert(offsetof(TraceSettings, nCookie) == 12);
static_assert(sizeof(TraceModuleBase) == 1044);
static_assert(offsetof(TraceModuleBase, iFirstCategory) == 0);
static_assert(offsetof(TraceModuleBase, nCategories) == 4);
static_assert(offsetof(TraceModuleBase, szPath) == 8);
static_assert(offsetof(TraceModuleBase, szName) == 528);
static_assert(offsetof(TraceModuleBase, hModule) == 1040);
static_assert(sizeof(TraceModuleRecord) == 1064);
static_assert(offsetof(TraceModuleRecord, base) == 0);
static_assert(offsetof(TraceModuleRecord, settings) == 1044);
static_assert(offsetof(TraceModuleRecord, pfnReport) == 1060);
static_assert(sizeof(TraceProcessRecord) == 1096);
static_assert(offsetof(TraceProcessRecord, cbFrontCommitted) == 1044);
static_assert(offsetof(TraceProcessRecord, cbBackCommitted) == 1048);
static_assert(offsetof(TraceProcessRecord, cbProcessRecord) == 1052);
static_assert(offsetof(TraceProcessRecord, dwReserved) == 1056);
static_assert(offsetof(TraceProcessRecord, nTraceLevel) == 1060);
static_assert(offsetof(TraceProcessRecord, bReserved) == 1064);
static_assert(offsetof(TraceProcessRecord, bEnabled) == 1065);
static_assert(offsetof(TraceProcessRecord, bShowCategory) == 1066);
static_assert(offsetof(TraceProcessRecord, bShowFileLine) == 1067);
static_assert(offsetof(TraceProcessRecord, dwProcessId) == 1068);
static_assert(offsetof(TraceProcessRecord, cbMaxSize) == 1072);
static_assert(offsetof(TraceProcessRecord, nRefCount) == 1076);
static_assert(offsetof(TraceProcessRecord, pBase) == 1080);
static_assert(offsetof(TraceProcessRecord, nModuleSlots) == 1084);
static_assert(offsetof(TraceProcessRecord, nCategorySlots) == 1088);
static_assert(offsetof(TraceProcessRecord, nLastCookie) == 1092);
static_assert(sizeof(TraceCategoryRecord) == 152);
static_assert(offsetof(TraceCategoryRecord, settings) == 0);
static_assert(offsetof(TraceCategoryRecord, nModuleCookie) == 16);
static_assert(offsetof(TraceCategoryRecord, iNextCategory) == 20);
static_assert(offsetof(TraceCategoryRecord, szName) == 24);
static_assert(kTraceBatch * sizeof(TraceModuleRecord) == 10640);
static_assert(kTraceBatch * sizeof(TraceCategoryRecord) == 1520);
