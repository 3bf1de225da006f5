#pragma once
// squid started by a test as a plain forwarding proxy on 127.0.0.1 (a free
// port): no cache, configuration, pid and log files in a temp folder of its
// own, one process in the foreground. Run as root it drops to "nobody", so
// its folder is left writable for that user. The constructor returns once
// squid accepts connections; the destructor stops it.
#include "platform/testing/TempDir.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace platform::testing {

class SquidServer {
public:
    // Whether squid is installed at all; tests skip when it is not.
    static bool Available();

    SquidServer();
    ~SquidServer();
    SquidServer(const SquidServer&) = delete;
    SquidServer& operator=(const SquidServer&) = delete;

    int Port() const { return port_; }
    // The URL field of each request the proxy forwarded so far, with its method: "GET http://...".
    std::vector<std::string> Requests() const;

private:
    void Stop();

    TempDir dir_;
    int port_ = 0;
    pid_t pid_ = -1;
};

} // namespace platform::testing
