// The dialog helper's entry program. Registration writes, under
// HKEY_CLASSES_ROOT:
//   Farrowgate.DialogHelper.1              "CDialogHelper Object"
//     CLSID                                the class's GUID
//   Farrowgate.DialogHelper                "CDialogHelper Object"
//     CLSID                                the class's GUID
//     CurVer                               "Farrowgate.DialogHelper.1"
//   CLSID (kept at unregistration)
//     {class GUID} (made anew)             "CDialogHelper Object"; AppID = the application's GUID
//       ProgID                             "Farrowgate.DialogHelper.1"
//       VersionIndependentProgID           "Farrowgate.DialogHelper"
//       Programmable (made anew)
//       InprocServer32                     the module's path; ThreadingModel = "apartment"
//       TypeLib                            the type library's GUID
#include "frame/class_entries.h"

#include "registration/entry_program.h"

namespace {

const EntryString kStrings[] = {
    {u"", 0},
    {u"Farrowgate.DialogHelper.1", 0},
    {u"%FriendlyName%", 1},
    {u"CLSID", 0},
    {u"{4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C65}", 0},
    {u"Farrowgate.DialogHelper", 0},
    {u"CurVer", 0},
    {u"ProgID", 0},
    {u"VersionIndependentProgID", 0},
    {u"Programmable", 0},
    {u"%MODULETYPE%", 1},
    {u"%MODULE%", 1},
    {u"ThreadingModel", 0},
    {u"apartment", 0},
    {u"AppID", 0},
    {u"%APPID%", 1},
    {u"TypeLib", 0},
    {u"%MODULEGUID%", 1},
};

constexpr DWORD W(DWORD opcode, DWORD a = 0, DWORD b = 0) { return EntryWord(opcode, a, b); }

const DWORD kOps[] = {
    W(7, 0, 0),  W(3, 1, 0),  W(8, 0, 2),  W(5),        W(3, 3, 0),   W(8, 0, 4),   W(5),         W(6),
    W(6),        W(3, 5, 0),  W(8, 0, 2),  W(5),        W(3, 3, 0),   W(8, 0, 4),   W(5),         W(6),
    W(3, 6, 0),  W(8, 0, 1),  W(5),        W(6),        W(6),         W(1, 3, 0),   W(3, 3, 0),   W(5),
    W(2, 4, 0),  W(3, 4, 0),  W(8, 0, 2),  W(5),        W(3, 7, 0),   W(8, 0, 1),   W(5),         W(6),
    W(3, 8, 0),  W(8, 0, 5),  W(5),        W(6),        W(2, 9, 0),   W(3, 9, 0),   W(5),         W(6),
    W(3, 10, 0), W(8, 0, 11), W(5),        W(8, 12, 13), W(6),        W(8, 14, 15), W(3, 16, 0),  W(8, 0, 17),
    W(5),        W(6),        W(6),        W(6),        W(6),         0,
};
static_assert(sizeof kOps / sizeof kOps[0] == 54, "the program has 54 words with its end");

const EntryProgram kProgram = {kOps, kStrings, sizeof kStrings / sizeof kStrings[0], nullptr, 0, nullptr, 0};

}  // namespace

HRESULT WINAPI RegisterClassEntries(BOOL bRegister) {
  CRegistryVirtualMachine engine;
  HRESULT hr = AddStandardVariables(&engine);
  if (FAILED(hr)) return hr;
  // Without the name the program would fail only where it first names it,
  // after writing the entries before, and with a code that hides the want
  // of memory.
  hr = engine.AddVariable(u"FriendlyName", u"CDialogHelper Object");
  if (FAILED(hr)) return hr;
  return engine.RunEntryProgram(kProgram, bRegister);
}
