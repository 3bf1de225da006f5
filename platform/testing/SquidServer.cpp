#include "platform/testing/SquidServer.h"

#include "platform/testing/ChildProcess.h"

#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::testing {

namespace {

constexpr const char* kSquid = "/usr/sbin/squid";

} // namespace

bool SquidServer::Available() {
    return ::access(kSquid, X_OK) == 0;
}

SquidServer::SquidServer() : dir_("vk-squid") {
    const std::string t = dir_.Path();
    ::chmod(t.c_str(), 0777); // squid started as root writes its logs as "nobody"
    std::string lastError;
    for (int attempt = 0; attempt < 5; ++attempt) {
        port_ = FreePort();
        std::ostringstream c;
        c << "http_port 127.0.0.1:" << port_ << "\n"
          << "http_access allow all\n"
          << "cache deny all\ncache_mem 0 MB\n"
          << "cache_effective_user nobody\n"
          << "visible_hostname localhost\n"
          << "pid_filename " << t << "/squid.pid\n"
          << "cache_log " << t << "/cache.log\n"
          << "access_log stdio:" << t << "/access.log\n"
          << "cache_store_log none\nnetdb_filename none\ncoredump_dir " << t << "\n"
          << "icp_port 0\nhtcp_port 0\npinger_enable off\n"
          << "shutdown_lifetime 0 seconds\nforwarded_for delete\n";
        const std::string conf = dir_.File("squid.conf");
        WriteFile(conf, c.str());
        const char* argv[] = {kSquid, "-N", "-f", conf.c_str(), nullptr};
        pid_ = SpawnChild(argv);
        if (WaitAccepting(pid_, port_, 20)) return;
        lastError = ReadFile(dir_.File("cache.log"));
        Stop();
    }
    throw std::runtime_error("SquidServer: squid did not start: " + lastError);
}

SquidServer::~SquidServer() {
    Stop();
}

std::vector<std::string> SquidServer::Requests() const {
    // Native log lines: time elapsed client code/status bytes method URL ...
    std::vector<std::string> out;
    std::istringstream in(ReadFile(dir_.File("access.log")));
    for (std::string line; std::getline(in, line);) {
        std::istringstream f(line);
        std::string time, elapsed, client, code, bytes, method, url;
        // The fixture's own probe of the port is logged with "-" as method.
        if (f >> time >> elapsed >> client >> code >> bytes >> method >> url && method != "-")
            out.push_back(method + " " + url);
    }
    return out;
}

void SquidServer::Stop() {
    StopChild(pid_, 10);
}

} // namespace platform::testing
