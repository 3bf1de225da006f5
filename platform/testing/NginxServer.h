#pragma once
// nginx started by a test: /usr/sbin/nginx on 127.0.0.1 (a free port), with a
// configuration, prefix, logs and temp folders of its own in a fresh temp
// folder, one process in the foreground (no daemon, no master process). It
// serves `root` at "/" with byte ranges ("Accept-Ranges: bytes"); a missing
// file is a 404. The constructor returns once nginx accepts connections; the
// destructor stops it. The system's nginx service is never involved.
#include "platform/testing/TempDir.h"

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace platform::testing {

struct NginxOptions {
    std::string root; // served folder; empty: a folder "www" in the server's temp folder

    struct Protected {
        std::string location; // prefix, e.g. "/private/"
        std::string realm;
        std::string user;
        std::string password;
    };
    std::vector<Protected> basicAuth;

    // Exact path -> target answered with 302 (the target as it stands).
    std::vector<std::pair<std::string, std::string>> redirects;

    // Bytes per second per connection under "/slow/" (0: no such location).
    std::int64_t slowRate = 0;

    // Lines placed as they stand inside the server block.
    std::string extraServerConfig;
};

class NginxServer {
public:
    explicit NginxServer(NginxOptions options = {});
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    int Port() const { return port_; }
    // "http://127.0.0.1:<port>" + path
    std::string Url(const std::string& path) const;
    const std::string& Root() const { return root_; }

    // One line per request served so far: "<request line>|<Range header>|<status>|<bytes>".
    std::vector<std::string> AccessLog() const;

private:
    void Start();
    void Stop();

    NginxOptions options_;
    TempDir dir_;
    std::string root_;
    int port_ = 0;
    pid_t pid_ = -1;
};

} // namespace platform::testing
