#pragma once
// The program with a display: its start-up order, the single instance and
// the hand-over from a second start, and its end.
#include <functional>
#include <string>
#include <vector>

// What an exception that reaches the event loop does; unset, it ends the
// program as an uncaught exception would.
void SetApplicationExceptionHandler(std::function<void(const std::string& message)> handler);

class QApplication;
// The application object of the program: an exception that reaches its event
// loop goes to the handler above.
QApplication* CreateApplication(int& argc, char** argv);

// Runs the program with its main window; `args` are the arguments after the
// program's name. Returns the exit status.
int RunDesktop(int& argc, char** argv, const std::vector<std::string>& args);
