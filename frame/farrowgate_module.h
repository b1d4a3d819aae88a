// The concrete module of this component: the module object with the
// library's type-library id and the registrar variables of the application.
#pragma once

#include "frame/module.h"
#include "frame/object_map.h"

class CFarrowgateModule : public CFrameDllModuleT<CFarrowgateModule> {
 public:
  static GUID GetLibraryId();
  // Adds "APPID", the application's GUID in braces.
  HRESULT AddModuleVariables(IRegistrarBase* pRegistrar) override;
};
