// The library's static objects, constructed at load in this order and
// destroyed at unload in reverse: the module-handle record, the heap and
// the string manager, the object map's owner, the window-support part, the
// module object. (The trace facility comes before them all.)
#include "frame/farrowgate_module.h"
#include "frame/object_map_rows.h"
#include "holders/string_manager.h"

namespace {

__attribute__((init_priority(300))) CFrameBaseModule g_baseModule;
__attribute__((init_priority(310))) CHeapMemory g_processHeap(GetProcessHeap(), /*ownsHeap=*/false);
__attribute__((init_priority(311))) CHeapStringManager g_stringManager(&g_processHeap);
__attribute__((init_priority(320))) CFrameComModule g_comModule(ObjectMapFirst(), ObjectMapLast());
__attribute__((init_priority(330))) CFrameWinModule g_winModule;
__attribute__((init_priority(340))) CFarrowgateModule g_module;

}  // namespace

CFrameBaseModule& FrameBaseModule() { return g_baseModule; }
IStringManager* ProcessStringManager() { return &g_stringManager; }
_FRAME_WIN_MODULE& FrameWinModule() { return g_winModule; }
CFrameComModule& FrameComModule() { return g_comModule; }
