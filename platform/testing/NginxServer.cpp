#include "platform/testing/NginxServer.h"

#include "platform/testing/ChildProcess.h"

#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace platform::testing {

namespace {

constexpr const char* kNginx = "/usr/sbin/nginx";

} // namespace

NginxServer::NginxServer(NginxOptions options) : options_(std::move(options)), dir_("vk-nginx") {
    root_ = options_.root.empty() ? dir_.File("www") : options_.root;
    std::filesystem::create_directories(root_);
    for (const char* sub : {"logs", "temp"})
        std::filesystem::create_directories(dir_.File(sub));
    Start();
}

NginxServer::~NginxServer() {
    Stop();
}

std::string NginxServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> NginxServer::AccessLog() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(dir_.File("logs/access.log")));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void NginxServer::Start() {
    for (std::size_t i = 0; i < options_.basicAuth.size(); ++i) {
        const auto& p = options_.basicAuth[i];
        WriteFile(dir_.File("htpasswd" + std::to_string(i)),
                  p.user + ":{PLAIN}" + p.password + "\n");
    }
    // A port taken between FreePort and nginx's bind makes nginx exit: try anew.
    std::string lastError;
    for (int attempt = 0; attempt < 5; ++attempt) {
        port_ = FreePort();
        const std::string t = dir_.Path();
        std::ostringstream c;
        c << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
          << "pid " << t << "/logs/nginx.pid;\n"
          << "error_log " << t << "/logs/error.log warn;\n"
          << "events { worker_connections 512; }\n"
          << "http {\n"
          << "  default_type application/octet-stream;\n"
          << "  types { text/html html htm; text/plain txt; }\n"
          << "  log_format vk '$request|$http_range|$status|$body_bytes_sent';\n"
          << "  access_log " << t << "/logs/access.log vk;\n"
          << "  client_body_temp_path " << t << "/temp/body;\n"
          << "  proxy_temp_path " << t << "/temp/proxy;\n"
          << "  fastcgi_temp_path " << t << "/temp/fastcgi;\n"
          << "  uwsgi_temp_path " << t << "/temp/uwsgi;\n"
          << "  scgi_temp_path " << t << "/temp/scgi;\n"
          << "  sendfile on;\n  keepalive_timeout 0;\n"
          << "  server {\n"
          << "    listen 127.0.0.1:" << port_ << ";\n"
          << "    server_name localhost;\n"
          << "    root " << root_ << ";\n";
        for (std::size_t i = 0; i < options_.basicAuth.size(); ++i) {
            const auto& p = options_.basicAuth[i];
            c << "    location " << p.location << " {\n"
              << "      auth_basic \"" << p.realm << "\";\n"
              << "      auth_basic_user_file " << t << "/htpasswd" << i << ";\n    }\n";
        }
        for (const auto& [from, to] : options_.redirects)
            c << "    location = " << from << " { return 302 " << to << "; }\n";
        if (options_.slowRate > 0)
            c << "    location /slow/ { limit_rate " << options_.slowRate << "; }\n";
        c << options_.extraServerConfig << "\n  }\n}\n";
        const std::string conf = dir_.File("nginx.conf");
        WriteFile(conf, c.str());

        const std::string prefix = t + "/";
        const std::string errorLog = t + "/logs/error.log";
        const char* argv[] = {kNginx,       "-p", prefix.c_str(),   "-c",
                              conf.c_str(), "-e", errorLog.c_str(), nullptr};
        pid_ = SpawnChild(argv);
        if (WaitAccepting(pid_, port_, 10)) return;
        lastError = ReadFile(errorLog);
        Stop();
    }
    throw std::runtime_error("NginxServer: nginx did not start: " + lastError);
}

void NginxServer::Stop() {
    StopChild(pid_, 5);
}

} // namespace platform::testing
