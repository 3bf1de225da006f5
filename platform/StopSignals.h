#pragma once
// SIGINT and SIGTERM delivered through the event loop: the handler only hands
// the signal over; `onStop` runs later from the loop with the signal number.
#include <functional>

namespace platform {

// Installs the handlers (once per process; a later call replaces `onStop`).
// Needs a QCoreApplication. False when the signal pipe cannot be made.
bool InstallStopSignals(std::function<void(int signal)> onStop);

} // namespace platform
