// Interface tables: each class lists the interfaces it answers in one
// constant array of rows, and QueryFromTable walks it for QueryInterface.
#pragma once

#include <cstddef>

#include "fgplatform/win32.h"

// A row's function: called with the object's start, the id asked for, the
// out pointer and the row's second field.
typedef HRESULT(WINAPI _FRAME_CREATORARGFUNC)(void* pThis, REFIID riid, LPVOID* ppv, DWORD_PTR dw);

// The marker of a simple row: the interface pointer lives at the row's offset.
#define _FRAME_SIMPLEMAPENTRY (reinterpret_cast<_FRAME_CREATORARGFUNC*>(1))

struct InterfaceEntry {
  const IID* piid;  // null: a blind row, which matches every id
  DWORD_PTR dw;     // the offset of the interface pointer, or the function's argument
  _FRAME_CREATORARGFUNC* pFunc;  // _FRAME_SIMPLEMAPENTRY, a function, or null to end the table
};

// The byte offset of the `Interface` part of a `Class` object from its start.
template <class Interface, class Class>
DWORD_PTR InterfaceOffset() {
  // Any address far from null serves: only the difference is kept.
  constexpr DWORD_PTR kProbe = 0x1000;
  auto* object = reinterpret_cast<Class*>(kProbe);
  return reinterpret_cast<DWORD_PTR>(static_cast<Interface*>(object)) - kProbe;
}

// Answers the interface `iid` of the object at `pThis` from its table,
// raising its count: E_INVALIDARG for a null object or table, E_POINTER for
// a null out pointer, E_NOINTERFACE when no row answers. IUnknown is the
// first row, which must be simple.
[[nodiscard]] HRESULT QueryFromTable(void* pThis, const InterfaceEntry* pEntries, REFIID iid, void** ppv);
