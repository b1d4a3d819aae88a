// The registrar interface: named texts for registry scripts and class
// entries. Registrars live on the stack of one registration call and do
// not count references.
#pragma once

#include "fgplatform/win32.h"

interface IRegistrarBase : public IUnknown {
  STDMETHOD(AddVariable)(LPCOLESTR key, LPCOLESTR item) PURE;
  STDMETHOD(ClearVariables)() PURE;
};
