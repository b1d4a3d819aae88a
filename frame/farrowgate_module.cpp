#include "frame/farrowgate_module.h"

#include "dialog/dialog_identity.h"

GUID CFarrowgateModule::GetLibraryId() { return LIBID_Farrowgate; }

HRESULT CFarrowgateModule::AddModuleVariables(IRegistrarBase* pRegistrar) {
  return pRegistrar->AddVariable(u"APPID", kAppIdText);
}
