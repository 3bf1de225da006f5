#pragma once
// The program's module start-up and shutdown, in their fixed order.

// Before the main routine: the previous run's log file is deleted, the language
// manager is created over the built-in texts, the downloaders are installed and
// job management starts (settings file, first-run defaults, "Session Started.",
// job list and a queue pass). Needs a running QCoreApplication for the timers
// of the downloads the queue pass starts.
void StartModules();

// The reverse order: job management saves the list, logs "Session Finished.",
// frees every job (stopping its download) and closes the settings file; then
// the language manager goes.
void StopModules();

// One instance per settings file: held from the call until the process ends
// (the system releases it when the process dies, however it dies). False when
// another process holds it.
bool LockSettingsInstance();
