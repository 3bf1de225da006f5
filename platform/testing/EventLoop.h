#pragma once
// The Qt application object of a test process and a way to run its event loop
// until something has happened.
#include <functional>

class QCoreApplication;

namespace platform::testing {

// Created on first use, lives until the process ends.
QCoreApplication& App();

// Runs the event loop until `done` returns true or `timeoutMs` passed; returns
// the last result of `done`.
bool RunUntil(const std::function<bool()>& done, int timeoutMs = 10000);

// Runs the event loop for `ms` milliseconds.
void RunFor(int ms);

} // namespace platform::testing
