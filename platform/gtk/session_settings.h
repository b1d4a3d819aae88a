// GTK's settings where no session bus runs. The toolkit keeps its settings
// through the desktop's settings service, which it reaches over the session
// bus; without a bus every read prints a warning on standard error (a
// console script that opens the chooser under a bare X server shows a
// dozen). A host that finds no bus asks GTK to keep its settings in memory
// for the run instead, before GTK starts. A choice the user made
// (GSETTINGS_BACKEND already set) stands.
//
// Header-only: the chooser plug-in and the page host both call it, and
// neither links the other.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <string>

namespace fgp::gtk {

// Whether a session bus can be reached: an address in
// DBUS_SESSION_BUS_ADDRESS (a unix:path= address only when its socket is
// there), or the usual socket in XDG_RUNTIME_DIR.
inline bool SessionBusReachable() {
  auto isSocket = [](const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
  };
  const char* address = getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address != nullptr && *address != '\0') {
    std::string text = address;
    const std::string unixPath = "unix:path=";
    if (text.rfind(unixPath, 0) != 0) return true;  // another kind of address: taken as reachable
    return isSocket(text.substr(unixPath.size(), text.find_first_of(",;") - unixPath.size()));
  }
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  return runtime != nullptr && *runtime != '\0' && isSocket(std::string(runtime) + "/bus");
}

// Sets GSETTINGS_BACKEND=memory when no bus can be reached and the user
// chose no back end. Call before GTK starts, while one thread runs.
inline void KeepSettingsInMemoryWithoutSessionBus() {
  const char* chosen = getenv("GSETTINGS_BACKEND");
  if (chosen != nullptr && *chosen != '\0') return;
  if (!SessionBusReachable()) setenv("GSETTINGS_BACKEND", "memory", 1);
}

}  // namespace fgp::gtk
