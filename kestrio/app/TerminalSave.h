#pragma once
// Saving from the terminal without any window: the dialog's state as
// LoadPage leaves it (links ticked from the selection, stored options), then
// "&Start" with the given folder, the walk and the relinking, with progress
// lines on `out`. Entries that fail are skipped, as nobody can press a button.
#include "kestrio/app/CommandLine.h"
#include "platform/BrowserDom.h"

#include <ostream>

namespace kestrio {

// The page handed over: from --page FILE or fetched from the URL. Throws.
platform::DomValue TerminalPage(const CommandLine& cl);

// 0 when the page was saved and relinked; 1 otherwise, with the reason on err.
int SaveFromTerminal(const platform::DomValue& window, const CommandLine& cl, std::ostream& out,
                     std::ostream& err);

} // namespace kestrio
