#pragma once
// Helpers of the fixtures that run a server program as a child process.
#include <sys/types.h>

namespace platform::testing {

// Starts `argv[0]` with `argv`; the child is ended when the test process dies.
pid_t SpawnChild(const char* const argv[]);

// True when a TCP connection to 127.0.0.1:port succeeds.
bool PortAccepts(int port);

// Waits until 127.0.0.1:port accepts; false when the child exited first (pid
// is then -1) or `seconds` passed.
bool WaitAccepting(pid_t& pid, int port, int seconds);

// Sends SIGTERM, waits up to `graceSeconds`, then SIGKILL; sets pid to -1.
void StopChild(pid_t& pid, int graceSeconds);

} // namespace platform::testing
