#include "frame/farrowgate_module.h"

#include "dialog/dialog_identity.h"

GUID CFarrowgateModule::GetLibraryId() { return LIBID_Farrowgate; }

HRESULT CFarrowgateModule::AddModuleVariables(IRegistrarBase* pRegistrar) {
  return pRegistrar->AddVariable(u"APPID", u"{F05A841F-D724-47D4-BA1A-685429E8B427}");
}
