// The display backend of the open-file dialog: the file-chooser plug-in on
// GTK 3, loaded at the first dialog when DISPLAY or WAYLAND_DISPLAY is set,
// from the folder libfgplatform.so was loaded from.
//
// GTK serves one thread: the thread that shows the first chooser is the only
// one that may show one. A dialog asked for on another thread fails with
// CDERR_INITIALIZATION and says why on the debug output. A chosen path that
// is not valid UTF-8 has no UTF-16 form and fails with FNERR_INVALIDFILENAME.
#pragma once

#include "fgplatform/commdlg.h"
#include "fgplatform/dialog_record.h"

namespace fgp {

// Shows the chooser for the request, as GetOpenFileNameW recorded it, and
// fills the user's answer; false when there is no display or the plug-in
// cannot be loaded.
[[nodiscard]] bool RunFileChooser(const fgp::DialogRequest& request, fgp::DialogAnswer& answer);

}  // namespace fgp
