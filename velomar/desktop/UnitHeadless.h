#pragma once
// Terminal mode: downloads the given URLs (or the wanted jobs of the list)
// without a display, shows progress on stdout and ends when the queue is done.
#include <string>
#include <vector>

// Exit status of a run: every job it ran completed, some job failed, or the run
// was stopped by a signal (128 + the signal's number, as shells report it).
enum THeadlessExit : int { heCompleted = 0, heFailed = 1, heBusy = 3 };

// `urls` are internal (Windows-1252) texts. Needs a QCoreApplication; runs its
// event loop.
int RunHeadless(const std::vector<std::string>& urls);
