// The messages between fgpage's window (the host) and its part in the web
// process (the page extension), and the settings the host hands the
// extension when the web process starts.
#pragma once

namespace fgpage {

// Extension to host.
constexpr const char* kConsoleMessage = "fgpage.console";  // (bs): to standard error?, the line
constexpr const char* kExitMessage = "fgpage.exit";        // (i): the exit code

// Host to extension, answered once every object is released and the
// component runtime is shut down in the web process.
constexpr const char* kShutdownMessage = "fgpage.shutdown";

// The extension's settings: console copying on?, the trusted file's URI
// (may be empty), the allowed origins.
constexpr const char* kSettingsType = "(bsas)";

}  // namespace fgpage
