// This library's object map: one row, the dialog helper class.
#include "dialog/dialog_helper.h"
#include "frame/class_entries.h"
#include "frame/class_factory.h"
#include "frame/object_map_rows.h"

namespace {

LPCWSTR WINAPI NoDescription() { return nullptr; }
const void* WINAPI NoCategories() { return nullptr; }
void WINAPI NoModuleEvent(bool) {}

ObjectMapEntry g_dialogHelperRow = {&CLSID_DialogHelper,
                                    RegisterClassEntries,
                                    CreateFactory,
                                    CComCreators<CDialogHelper>::CreatePlainOrAggregated,
                                    nullptr,
                                    0,
                                    NoDescription,
                                    NoCategories,
                                    NoModuleEvent};

ObjectMapEntry* g_objectMap[] = {&g_dialogHelperRow};

}  // namespace

ObjectMapEntry** ObjectMapFirst() { return g_objectMap; }
ObjectMapEntry** ObjectMapLast() { return g_objectMap + sizeof g_objectMap / sizeof g_objectMap[0]; }
