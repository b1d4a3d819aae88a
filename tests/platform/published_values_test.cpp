// Published values as a client written elsewhere knows them: each row's
// value is written out here from its public documentation, not taken from
// our headers, so a wrong header value fails here first.
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>

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


// One row per published constant: the header's value and the value its
// documentation gives, written out here by hand. Each group names where it
// is documented.
struct Published {
  const char* name;
  uint32_t header;
  uint32_t published;
};
#define ROW(name, value) {#name, static_cast<uint32_t>(name), static_cast<uint32_t>(value)}

// Win32 error codes: [MS-ERREF] 2.2 "Win32 Error Codes", and the "System
// Error Codes" pages (0-499, 500-999, 1000-1299, 1300-1699, 1700-3999).
const Published kWin32Errors[] = {
    ROW(ERROR_SUCCESS, 0), ROW(NO_ERROR, 0), ROW(ERROR_INVALID_FUNCTION, 1), ROW(ERROR_FILE_NOT_FOUND, 2),
    ROW(ERROR_PATH_NOT_FOUND, 3), ROW(ERROR_ACCESS_DENIED, 5), ROW(ERROR_INVALID_HANDLE, 6),
    ROW(ERROR_NOT_ENOUGH_MEMORY, 8), ROW(ERROR_BAD_FORMAT, 11), ROW(ERROR_INVALID_DATA, 13),
    ROW(ERROR_OUTOFMEMORY, 14), ROW(ERROR_BAD_LENGTH, 24), ROW(ERROR_WRITE_FAULT, 29), ROW(ERROR_READ_FAULT, 30),
    ROW(ERROR_NOT_SUPPORTED, 50), ROW(ERROR_INVALID_PARAMETER, 87), ROW(ERROR_CALL_NOT_IMPLEMENTED, 120),
    ROW(ERROR_INSUFFICIENT_BUFFER, 122), ROW(ERROR_INVALID_NAME, 123), ROW(ERROR_MOD_NOT_FOUND, 126),
    ROW(ERROR_PROC_NOT_FOUND, 127), ROW(ERROR_BAD_PATHNAME, 161), ROW(ERROR_ALREADY_EXISTS, 183),
    ROW(ERROR_BAD_EXE_FORMAT, 193), ROW(ERROR_FILENAME_EXCED_RANGE, 206), ROW(ERROR_MORE_DATA, 234),
    ROW(ERROR_NO_MORE_ITEMS, 259), ROW(ERROR_INVALID_ADDRESS, 487), ROW(ERROR_ARITHMETIC_OVERFLOW, 534),
    ROW(ERROR_NOACCESS, 998), ROW(ERROR_INVALID_FLAGS, 1004), ROW(ERROR_NO_TOKEN, 1008), ROW(ERROR_BADDB, 1009),
    ROW(ERROR_BADKEY, 1010), ROW(ERROR_CANTOPEN, 1011), ROW(ERROR_CANTREAD, 1012), ROW(ERROR_CANTWRITE, 1013),
    ROW(ERROR_REGISTRY_RECOVERED, 1014), ROW(ERROR_REGISTRY_CORRUPT, 1015), ROW(ERROR_REGISTRY_IO_FAILED, 1016),
    ROW(ERROR_KEY_DELETED, 1018), ROW(ERROR_CHILD_MUST_BE_VOLATILE, 1021), ROW(ERROR_NO_UNICODE_TRANSLATION, 1113),
    ROW(ERROR_DLL_INIT_FAILED, 1114), ROW(ERROR_NOT_FOUND, 1168), ROW(ERROR_CLASS_DOES_NOT_EXIST, 1411),
    ROW(ERROR_RESOURCE_DATA_NOT_FOUND, 1812), ROW(ERROR_RESOURCE_TYPE_NOT_FOUND, 1813),
    ROW(ERROR_RESOURCE_NAME_NOT_FOUND, 1814), ROW(ERROR_RESOURCE_LANG_NOT_FOUND, 1815),
};

// HRESULTs: [MS-ERREF] 2.1.1 "HRESULT Values" and "COM Error Codes
// (Generic)"; the exception codes: [MS-ERREF] 2.3.1 "NTSTATUS Values", and
// EXCEPTION_NONCONTINUABLE in "EXCEPTION_RECORD structure".
const Published kResults[] = {
    ROW(S_OK, 0), ROW(S_FALSE, 1), ROW(E_UNEXPECTED, 0x8000FFFF), ROW(E_NOTIMPL, 0x80004001),
    ROW(E_NOINTERFACE, 0x80004002), ROW(E_POINTER, 0x80004003), ROW(E_ABORT, 0x80004004), ROW(E_FAIL, 0x80004005),
    ROW(E_ACCESSDENIED, 0x80070005), ROW(E_HANDLE, 0x80070006), ROW(E_OUTOFMEMORY, 0x8007000E),
    ROW(E_INVALIDARG, 0x80070057), ROW(DISP_E_UNKNOWNINTERFACE, 0x80020001), ROW(DISP_E_MEMBERNOTFOUND, 0x80020003),
    ROW(DISP_E_PARAMNOTFOUND, 0x80020004), ROW(DISP_E_TYPEMISMATCH, 0x80020005), ROW(DISP_E_UNKNOWNNAME, 0x80020006),
    ROW(DISP_E_NONAMEDARGS, 0x80020007), ROW(DISP_E_BADVARTYPE, 0x80020008), ROW(DISP_E_EXCEPTION, 0x80020009),
    ROW(DISP_E_OVERFLOW, 0x8002000A), ROW(DISP_E_BADINDEX, 0x8002000B), ROW(DISP_E_UNKNOWNLCID, 0x8002000C),
    ROW(DISP_E_ARRAYISLOCKED, 0x8002000D), ROW(DISP_E_BADPARAMCOUNT, 0x8002000E),
    ROW(DISP_E_PARAMNOTOPTIONAL, 0x8002000F), ROW(TYPE_E_INVDATAREAD, 0x80028018), ROW(TYPE_E_UNSUPFORMAT, 0x80028019),
    ROW(TYPE_E_REGISTRYACCESS, 0x8002801C), ROW(TYPE_E_LIBNOTREGISTERED, 0x8002801D),
    ROW(TYPE_E_INVALIDSTATE, 0x80028029), ROW(TYPE_E_ELEMENTNOTFOUND, 0x8002802B),
    ROW(TYPE_E_BADMODULEKIND, 0x800288BD), ROW(TYPE_E_IOERROR, 0x80028CA2), ROW(TYPE_E_CANTLOADLIBRARY, 0x80029C4A),
    ROW(CLASS_E_NOAGGREGATION, 0x80040110), ROW(CLASS_E_CLASSNOTAVAILABLE, 0x80040111),
    ROW(REGDB_E_READREGDB, 0x80040150), ROW(REGDB_E_WRITEREGDB, 0x80040151), ROW(REGDB_E_KEYMISSING, 0x80040152),
    ROW(REGDB_E_CLASSNOTREG, 0x80040154), ROW(REGDB_E_IIDNOTREG, 0x80040155), ROW(CO_E_NOTINITIALIZED, 0x800401F0),
    ROW(CO_E_CLASSSTRING, 0x800401F3), ROW(CO_E_DLLNOTFOUND, 0x800401F8), ROW(CO_E_ERRORINDLL, 0x800401F9),
    ROW(RPC_E_CALL_REJECTED, 0x80010001), ROW(RPC_E_CHANGED_MODE, 0x80010106), ROW(RPC_E_DISCONNECTED, 0x80010108),
    ROW(STG_E_FILENOTFOUND, 0x80030002), ROW(STATUS_ACCESS_VIOLATION, 0xC0000005),
    ROW(STATUS_INVALID_HANDLE, 0xC0000008), ROW(STATUS_NO_MEMORY, 0xC0000017),
    ROW(STATUS_ARRAY_BOUNDS_EXCEEDED, 0xC000008C), ROW(EXCEPTION_ACCESS_VIOLATION, 0xC0000005),
    ROW(EXCEPTION_INVALID_HANDLE, 0xC0000008), ROW(EXCEPTION_ARRAY_BOUNDS_EXCEEDED, 0xC000008C),
    ROW(EXCEPTION_NONCONTINUABLE, 1), ROW(FACILITY_NULL, 0), ROW(FACILITY_RPC, 1), ROW(FACILITY_DISPATCH, 2),
    ROW(FACILITY_STORAGE, 3), ROW(FACILITY_ITF, 4), ROW(FACILITY_WIN32, 7), ROW(FACILITY_WINDOWS, 8),
    ROW(SEVERITY_SUCCESS, 0), ROW(SEVERITY_ERROR, 1),
};

// VARENUM: [MS-OAUT] "VARIANT Type Constants"; VARIANT_TRUE and
// VARIANT_FALSE: "VARIANT_BOOL".
const Published kVariantTypes[] = {
    ROW(VT_EMPTY, 0), ROW(VT_NULL, 1), ROW(VT_I2, 2), ROW(VT_I4, 3), ROW(VT_R4, 4), ROW(VT_R8, 5), ROW(VT_CY, 6),
    ROW(VT_DATE, 7), ROW(VT_BSTR, 8), ROW(VT_DISPATCH, 9), ROW(VT_ERROR, 10), ROW(VT_BOOL, 11), ROW(VT_VARIANT, 12),
    ROW(VT_UNKNOWN, 13), ROW(VT_DECIMAL, 14), ROW(VT_I1, 16), ROW(VT_UI1, 17), ROW(VT_UI2, 18), ROW(VT_UI4, 19),
    ROW(VT_I8, 20), ROW(VT_UI8, 21), ROW(VT_INT, 22), ROW(VT_UINT, 23), ROW(VT_VOID, 24), ROW(VT_HRESULT, 25),
    ROW(VT_PTR, 26), ROW(VT_SAFEARRAY, 27), ROW(VT_CARRAY, 28), ROW(VT_USERDEFINED, 29), ROW(VT_LPSTR, 30),
    ROW(VT_LPWSTR, 31), ROW(VT_RECORD, 36), ROW(VT_INT_PTR, 37), ROW(VT_UINT_PTR, 38), ROW(VT_VECTOR, 0x1000),
    ROW(VT_ARRAY, 0x2000), ROW(VT_BYREF, 0x4000), ROW(VT_RESERVED, 0x8000), ROW(VT_ILLEGAL, 0xFFFF),
    ROW(VT_ILLEGALMASKED, 0x0FFF), ROW(VT_TYPEMASK, 0x0FFF), ROW(VARIANT_TRUE, -1) /* a 16-bit -1 */, ROW(VARIANT_FALSE, 0),
};

// Dispatch: [MS-OAUT] "Reserved DISPIDs" and "IDispatch::Invoke" (the
// wFlags values), MEMBERID_NIL in "ITypeInfo::GetDocumentation"; arrays:
// [MS-OAUT] "ADVFEATUREFLAGS Advanced Feature Flags" (SAFEARRAY fFeatures).
const Published kDispatch[] = {
    ROW(DISPID_UNKNOWN, -1), ROW(DISPID_VALUE, 0), ROW(DISPID_PROPERTYPUT, -3), ROW(DISPID_NEWENUM, -4),
    ROW(DISPID_EVALUATE, -5), ROW(DISPATCH_METHOD, 1), ROW(DISPATCH_PROPERTYGET, 2), ROW(DISPATCH_PROPERTYPUT, 4),
    ROW(DISPATCH_PROPERTYPUTREF, 8), ROW(MEMBERID_NIL, -1), ROW(FADF_AUTO, 0x0001), ROW(FADF_STATIC, 0x0002),
    ROW(FADF_EMBEDDED, 0x0004), ROW(FADF_FIXEDSIZE, 0x0010), ROW(FADF_RECORD, 0x0020), ROW(FADF_HAVEIID, 0x0040),
    ROW(FADF_HAVEVARTYPE, 0x0080), ROW(FADF_BSTR, 0x0100), ROW(FADF_UNKNOWN, 0x0200), ROW(FADF_DISPATCH, 0x0400),
    ROW(FADF_VARIANT, 0x0800), ROW(FADF_RESERVED, 0xF008),
};

// The registry: "Registry Value Types", "Registry Key Security and Access
// Rights", RegCreateKeyExW (options and dispositions); the standard rights:
// "Standard Access Rights" and "Generic Access Rights" ([MS-DTYP]
// "ACCESS_MASK").
const Published kRegistry[] = {
    ROW(REG_NONE, 0), ROW(REG_SZ, 1), ROW(REG_EXPAND_SZ, 2), ROW(REG_BINARY, 3), ROW(REG_DWORD, 4),
    ROW(REG_DWORD_LITTLE_ENDIAN, 4), ROW(REG_DWORD_BIG_ENDIAN, 5), ROW(REG_LINK, 6), ROW(REG_MULTI_SZ, 7),
    ROW(REG_QWORD, 11), ROW(REG_QWORD_LITTLE_ENDIAN, 11), ROW(REG_OPTION_NON_VOLATILE, 0),
    ROW(REG_OPTION_VOLATILE, 1), ROW(REG_CREATED_NEW_KEY, 1), ROW(REG_OPENED_EXISTING_KEY, 2),
    ROW(KEY_QUERY_VALUE, 0x0001), ROW(KEY_SET_VALUE, 0x0002), ROW(KEY_CREATE_SUB_KEY, 0x0004),
    ROW(KEY_ENUMERATE_SUB_KEYS, 0x0008), ROW(KEY_NOTIFY, 0x0010), ROW(KEY_CREATE_LINK, 0x0020),
    ROW(KEY_WOW64_64KEY, 0x0100), ROW(KEY_WOW64_32KEY, 0x0200), ROW(KEY_READ, 0x20019), ROW(KEY_WRITE, 0x20006),
    ROW(KEY_EXECUTE, 0x20019), ROW(KEY_ALL_ACCESS, 0xF003F), ROW(DELETE, 0x00010000), ROW(READ_CONTROL, 0x00020000),
    ROW(WRITE_DAC, 0x00040000), ROW(WRITE_OWNER, 0x00080000), ROW(SYNCHRONIZE, 0x00100000),
    ROW(STANDARD_RIGHTS_READ, 0x00020000), ROW(STANDARD_RIGHTS_WRITE, 0x00020000),
    ROW(STANDARD_RIGHTS_ALL, 0x001F0000), ROW(MAXIMUM_ALLOWED, 0x02000000), ROW(GENERIC_READ, 0x80000000),
    ROW(GENERIC_WRITE, 0x40000000), ROW(GENERIC_EXECUTE, 0x20000000), ROW(GENERIC_ALL, 0x10000000),
};

// The open dialog: "OPENFILENAMEW structure" (Flags) and
// "CommDlgExtendedError function" (the CDERR_ and FNERR_ codes).
const Published kDialog[] = {
    ROW(OFN_READONLY, 0x00000001), ROW(OFN_OVERWRITEPROMPT, 0x00000002), ROW(OFN_HIDEREADONLY, 0x00000004),
    ROW(OFN_NOCHANGEDIR, 0x00000008), ROW(OFN_ALLOWMULTISELECT, 0x00000200), ROW(OFN_PATHMUSTEXIST, 0x00000800),
    ROW(OFN_FILEMUSTEXIST, 0x00001000), ROW(OFN_EXPLORER, 0x00080000), ROW(CDERR_DIALOGFAILURE, 0xFFFF),
    ROW(CDERR_STRUCTSIZE, 0x0001), ROW(CDERR_INITIALIZATION, 0x0002), ROW(CDERR_NOTEMPLATE, 0x0003),
    ROW(CDERR_NOHINSTANCE, 0x0004), ROW(CDERR_LOADSTRFAILURE, 0x0005), ROW(CDERR_FINDRESFAILURE, 0x0006),
    ROW(CDERR_LOADRESFAILURE, 0x0007), ROW(CDERR_LOCKRESFAILURE, 0x0008), ROW(CDERR_MEMALLOCFAILURE, 0x0009),
    ROW(CDERR_MEMLOCKFAILURE, 0x000A), ROW(CDERR_NOHOOK, 0x000B), ROW(CDERR_REGISTERMSGFAIL, 0x000C),
    ROW(FNERR_SUBCLASSFAILURE, 0x3001), ROW(FNERR_INVALIDFILENAME, 0x3002), ROW(FNERR_BUFFERTOOSMALL, 0x3003),
};

// Code pages and text: "MultiByteToWideChar function" and
// "WideCharToMultiByte function" (code pages and flags), "Locale
// Identifiers" and [MS-LCID] (LOCALE_INVARIANT 0x007F), "CompareStringW"
// (NORM_IGNORECASE).
const Published kText[] = {
    ROW(CP_ACP, 0), ROW(CP_OEMCP, 1), ROW(CP_MACCP, 2), ROW(CP_THREAD_ACP, 3), ROW(CP_UTF8, 65001),
    ROW(MB_PRECOMPOSED, 0x00000001), ROW(MB_COMPOSITE, 0x00000002), ROW(MB_USEGLYPHCHARS, 0x00000004),
    ROW(MB_ERR_INVALID_CHARS, 0x00000008), ROW(WC_COMPOSITECHECK, 0x00000200), ROW(WC_DISCARDNS, 0x00000010),
    ROW(WC_SEPCHARS, 0x00000020), ROW(WC_DEFAULTCHAR, 0x00000040), ROW(WC_ERR_INVALID_CHARS, 0x00000080),
    ROW(WC_NO_BEST_FIT_CHARS, 0x00000400), ROW(LOCALE_SYSTEM_DEFAULT, 0x0800), ROW(LOCALE_USER_DEFAULT, 0x0400),
    ROW(LOCALE_NEUTRAL, 0x0000), ROW(LOCALE_INVARIANT, 0x007F), ROW(NORM_IGNORECASE, 0x00000001),
};

// Type information: [MS-OAUT] "TYPEKIND", "TYPEFLAGS", "FUNCKIND",
// "INVOKEKIND", "CALLCONV", "SYSKIND", "VARKIND", "LIBFLAGS", "PARAMFLAGS",
// "FUNCFLAGS" and "IMPLTYPEFLAGS"; comparisons and conversion flags:
// "VarCmp" (VARCMP_*) and "VariantChangeType" (VARIANT_* flags).
const Published kTypeInformation[] = {
    ROW(TKIND_ENUM, 0), ROW(TKIND_RECORD, 1), ROW(TKIND_MODULE, 2), ROW(TKIND_INTERFACE, 3),
    ROW(TKIND_DISPATCH, 4), ROW(TKIND_COCLASS, 5), ROW(TKIND_ALIAS, 6), ROW(TKIND_UNION, 7),
    ROW(TYPEFLAG_FAPPOBJECT, 0x1), ROW(TYPEFLAG_FCANCREATE, 0x2), ROW(TYPEFLAG_FLICENSED, 0x4),
    ROW(TYPEFLAG_FPREDECLID, 0x8), ROW(TYPEFLAG_FHIDDEN, 0x10), ROW(TYPEFLAG_FCONTROL, 0x20),
    ROW(TYPEFLAG_FDUAL, 0x40), ROW(TYPEFLAG_FNONEXTENSIBLE, 0x80), ROW(TYPEFLAG_FOLEAUTOMATION, 0x100),
    ROW(TYPEFLAG_FRESTRICTED, 0x200), ROW(TYPEFLAG_FAGGREGATABLE, 0x400), ROW(TYPEFLAG_FREPLACEABLE, 0x800),
    ROW(TYPEFLAG_FDISPATCHABLE, 0x1000), ROW(TYPEFLAG_FREVERSEBIND, 0x2000), ROW(TYPEFLAG_FPROXY, 0x4000),
    ROW(FUNC_VIRTUAL, 0), ROW(FUNC_PUREVIRTUAL, 1), ROW(FUNC_NONVIRTUAL, 2), ROW(FUNC_STATIC, 3),
    ROW(FUNC_DISPATCH, 4), ROW(INVOKE_FUNC, 1), ROW(INVOKE_PROPERTYGET, 2), ROW(INVOKE_PROPERTYPUT, 4),
    ROW(INVOKE_PROPERTYPUTREF, 8), ROW(CC_FASTCALL, 0), ROW(CC_CDECL, 1), ROW(CC_MSCPASCAL, 2), ROW(CC_PASCAL, 2),
    ROW(CC_MACPASCAL, 3), ROW(CC_STDCALL, 4), ROW(CC_FPFASTCALL, 5), ROW(CC_SYSCALL, 6), ROW(CC_MPWCDECL, 7),
    ROW(CC_MPWPASCAL, 8), ROW(SYS_WIN16, 0), ROW(SYS_WIN32, 1), ROW(SYS_MAC, 2), ROW(SYS_WIN64, 3),
    ROW(VAR_PERINSTANCE, 0), ROW(VAR_STATIC, 1), ROW(VAR_CONST, 2), ROW(VAR_DISPATCH, 3),
    ROW(LIBFLAG_FRESTRICTED, 0x1), ROW(LIBFLAG_FCONTROL, 0x2), ROW(LIBFLAG_FHIDDEN, 0x4),
    ROW(LIBFLAG_FHASDISKIMAGE, 0x8), ROW(PARAMFLAG_NONE, 0), ROW(PARAMFLAG_FIN, 0x01), ROW(PARAMFLAG_FOUT, 0x02),
    ROW(PARAMFLAG_FLCID, 0x04), ROW(PARAMFLAG_FRETVAL, 0x08), ROW(PARAMFLAG_FOPT, 0x10),
    ROW(PARAMFLAG_FHASDEFAULT, 0x20), ROW(PARAMFLAG_FHASCUSTDATA, 0x40), ROW(FUNCFLAG_FRESTRICTED, 0x1),
    ROW(FUNCFLAG_FSOURCE, 0x2), ROW(FUNCFLAG_FBINDABLE, 0x4), ROW(FUNCFLAG_FHIDDEN, 0x40),
    ROW(IMPLTYPEFLAG_FDEFAULT, 0x1), ROW(IMPLTYPEFLAG_FSOURCE, 0x2), ROW(IMPLTYPEFLAG_FRESTRICTED, 0x4),
    ROW(IMPLTYPEFLAG_FDEFAULTVTABLE, 0x8), ROW(VARCMP_LT, 0), ROW(VARCMP_EQ, 1), ROW(VARCMP_GT, 2),
    ROW(VARCMP_NULL, 3), ROW(VARIANT_NOVALUEPROP, 0x01), ROW(VARIANT_ALPHABOOL, 0x02),
    ROW(VARIANT_NOUSEROVERRIDE, 0x04), ROW(VARIANT_CALENDAR_HIJRI, 0x08), ROW(VARIANT_LOCALBOOL, 0x10),
};

// The system services: "CreateFileMappingA" and "Memory Protection
// Constants" (PAGE_*, SEC_*), "MapViewOfFile" (FILE_MAP_*),
// "MEMORY_BASIC_INFORMATION" (MEM_*), "HeapCreate" and "HeapAlloc"
// (HEAP_*), "CLSCTX enumeration", "COINIT enumeration",
// "WaitForSingleObject" (INFINITE, WAIT_*), "Synchronization Object
// Security and Access Rights" (EVENT_*), "Access Rights for Access-Token
// Objects" (TOKEN_*), "DllMain entry point" (DLL_*), "LoadLibraryExW"
// (LOAD_LIBRARY_* and DONT_RESOLVE_DLL_REFERENCES),
// "GetModuleHandleExW" (GET_MODULE_HANDLE_EX_FLAG_*), "SHGetFileInfoW"
// (SHGFI_EXETYPE), "EXCEPTION_RECORD" (EXCEPTION_MAXIMUM_PARAMETERS) and
// "errno constants" (EINVAL, ERANGE, ENOMEM, STRUNCATE).
const Published kSystem[] = {
    ROW(PAGE_NOACCESS, 0x01), ROW(PAGE_READONLY, 0x02), ROW(PAGE_READWRITE, 0x04), ROW(SEC_COMMIT, 0x08000000),
    ROW(SEC_RESERVE, 0x04000000), ROW(FILE_MAP_WRITE, 0x0002), ROW(FILE_MAP_READ, 0x0004),
    ROW(FILE_MAP_ALL_ACCESS, 0x000F001F), ROW(MEM_COMMIT, 0x00001000), ROW(MEM_RESERVE, 0x00002000),
    ROW(MEM_FREE, 0x00010000), ROW(MEM_MAPPED, 0x00040000), ROW(HEAP_NO_SERIALIZE, 0x00000001),
    ROW(HEAP_GROWABLE, 0x00000002), ROW(HEAP_GENERATE_EXCEPTIONS, 0x00000004), ROW(HEAP_ZERO_MEMORY, 0x00000008),
    ROW(HEAP_REALLOC_IN_PLACE_ONLY, 0x00000010), ROW(HEAP_CREATE_ENABLE_EXECUTE, 0x00040000),
    ROW(CLSCTX_INPROC_SERVER, 0x1), ROW(CLSCTX_INPROC_HANDLER, 0x2), ROW(CLSCTX_LOCAL_SERVER, 0x4),
    ROW(CLSCTX_REMOTE_SERVER, 0x10), ROW(CLSCTX_ALL, 0x17), ROW(COINIT_MULTITHREADED, 0x0),
    ROW(COINIT_APARTMENTTHREADED, 0x2), ROW(COINIT_DISABLE_OLE1DDE, 0x4), ROW(COINIT_SPEED_OVER_MEMORY, 0x8),
    ROW(INFINITE, 0xFFFFFFFF), ROW(WAIT_OBJECT_0, 0), ROW(WAIT_TIMEOUT, 258), ROW(WAIT_FAILED, 0xFFFFFFFF),
    ROW(EVENT_MODIFY_STATE, 0x0002), ROW(EVENT_ALL_ACCESS, 0x001F0003), ROW(TOKEN_DUPLICATE, 0x0002),
    ROW(TOKEN_IMPERSONATE, 0x0004), ROW(DLL_PROCESS_DETACH, 0), ROW(DLL_PROCESS_ATTACH, 1),
    ROW(DLL_THREAD_ATTACH, 2), ROW(DLL_THREAD_DETACH, 3), ROW(DONT_RESOLVE_DLL_REFERENCES, 0x00000001),
    ROW(LOAD_LIBRARY_AS_DATAFILE, 0x00000002), ROW(LOAD_LIBRARY_AS_IMAGE_RESOURCE, 0x00000020),
    ROW(LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE, 0x00000040), ROW(GET_MODULE_HANDLE_EX_FLAG_PIN, 0x00000001),
    ROW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, 0x00000002),
    ROW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, 0x00000004), ROW(SHGFI_EXETYPE, 0x000002000),
    ROW(EXCEPTION_MAXIMUM_PARAMETERS, 15), ROW(EINVAL, 22), ROW(ERANGE, 34), ROW(ENOMEM, 12), ROW(STRUNCATE, 80),
};

#undef ROW

void ExpectPublished(const char* group, const Published* rows, size_t count) {
  for (size_t i = 0; i < count; ++i)
    EXPECT_EQ(rows[i].header, rows[i].published) << group << ": " << rows[i].name;
}

TEST_F(PublishedValues, EveryPublishedConstantHasItsDocumentedValue) {
  ExpectPublished("Win32 errors", kWin32Errors, std::size(kWin32Errors));
  ExpectPublished("results", kResults, std::size(kResults));
  ExpectPublished("variant types", kVariantTypes, std::size(kVariantTypes));
  ExpectPublished("dispatch", kDispatch, std::size(kDispatch));
  ExpectPublished("registry", kRegistry, std::size(kRegistry));
  ExpectPublished("dialog", kDialog, std::size(kDialog));
  ExpectPublished("text", kText, std::size(kText));
  ExpectPublished("type information", kTypeInformation, std::size(kTypeInformation));
  ExpectPublished("system services", kSystem, std::size(kSystem));
  // Resource types: "Resource Types" (RT_STRING 6, RT_RCDATA 10,
  // RT_VERSION 16, RT_MANIFEST 24), as MAKEINTRESOURCE numbers.
  EXPECT_EQ(reinterpret_cast<uintptr_t>(RT_STRING), 6u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(RT_RCDATA), 10u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(RT_VERSION), 16u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(RT_MANIFEST), 24u);
  // The predefined keys are handles ("Predefined Keys"); their numbers are
  // those of the published winreg.h, sign-extended as its casts make them.
  const std::pair<HKEY, uint32_t> roots[] = {
      {HKEY_CLASSES_ROOT, 0x80000000}, {HKEY_CURRENT_USER, 0x80000001},     {HKEY_LOCAL_MACHINE, 0x80000002},
      {HKEY_USERS, 0x80000003},        {HKEY_PERFORMANCE_DATA, 0x80000004}, {HKEY_CURRENT_CONFIG, 0x80000005},
      {HKEY_DYN_DATA, 0x80000006},
  };
  for (const auto& [key, number] : roots)
    EXPECT_EQ(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key)), number);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT), static_cast<uintptr_t>(static_cast<intptr_t>(
                                                                static_cast<int32_t>(0x80000000))))
      << "sign-extended on a 64-bit build";
}

// Every interface and class id the headers publish: [MS-OAUT] 1.9
// "Standards Assignments" (IUnknown, IDispatch, ITypeInfo, ITypeInfo2,
// ITypeLib, ITypeLib2, IEnumVARIANT, IID_NULL); IClassFactory: its
// GuidAttribute in the Visual Studio OLE interop reference; the error
// interfaces as above; IProvideClassInfo, IGlobalInterfaceTable,
// ICatRegister: their GuidAttributes in the Visual Studio OLE interop
// reference; CLSID_StdGlobalInterfaceTable and
// CLSID_StdComponentCategoriesMgr: "Creating the Global Interface Table"
// and "Component Categories Manager Implementation".
TEST_F(PublishedValues, EveryPublishedIdHasItsDocumentedValue) {
  const InterfaceId ids[] = {
      {"IID_NULL", IID_NULL, u"{00000000-0000-0000-0000-000000000000}"},
      {"IUnknown", IID_IUnknown, u"{00000000-0000-0000-C000-000000000046}"},
      {"IClassFactory", IID_IClassFactory, u"{00000001-0000-0000-C000-000000000046}"},
      {"IDispatch", IID_IDispatch, u"{00020400-0000-0000-C000-000000000046}"},
      {"ITypeInfo", IID_ITypeInfo, u"{00020401-0000-0000-C000-000000000046}"},
      {"ITypeLib", IID_ITypeLib, u"{00020402-0000-0000-C000-000000000046}"},
      {"IEnumVARIANT", IID_IEnumVARIANT, u"{00020404-0000-0000-C000-000000000046}"},
      {"ITypeLib2", IID_ITypeLib2, u"{00020411-0000-0000-C000-000000000046}"},
      {"ITypeInfo2", IID_ITypeInfo2, u"{00020412-0000-0000-C000-000000000046}"},
      {"IProvideClassInfo", IID_IProvideClassInfo, u"{B196B283-BAB4-101A-B69C-00AA00341D07}"},
      {"IGlobalInterfaceTable", IID_IGlobalInterfaceTable, u"{00000146-0000-0000-C000-000000000046}"},
      {"StdGlobalInterfaceTable", CLSID_StdGlobalInterfaceTable, u"{00000323-0000-0000-C000-000000000046}"},
      {"ICatRegister", IID_ICatRegister, u"{0002E012-0000-0000-C000-000000000046}"},
      {"StdComponentCategoriesMgr", CLSID_StdComponentCategoriesMgr, u"{0002E005-0000-0000-C000-000000000046}"},
  };
  for (const InterfaceId& row : ids) {
    char16_t text[39];
    ASSERT_EQ(StringFromGUID2(row.iid, text, 39), 39);
    EXPECT_EQ(std::u16string(text), std::u16string(row.published)) << row.name;
  }
  for (const InterfaceId& row : kErrorInterfaces) {
    char16_t text[39];
    ASSERT_EQ(StringFromGUID2(row.iid, text, 39), 39);
    EXPECT_EQ(std::u16string(text), std::u16string(row.published)) << row.name;
  }
}

}  // namespace
