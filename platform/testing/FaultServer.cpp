#include "platform/testing/FaultServer.h"

#include <QByteArray>

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::testing {

namespace {

std::string Lower(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Inverted(std::string s) {
    for (auto& c : s) {
        auto u = static_cast<unsigned char>(c);
        c = static_cast<char>(std::isupper(u) ? std::tolower(u) : std::toupper(u));
    }
    return s;
}

const char* Reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 416:
        return "Requested Range Not Satisfiable";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

bool SendAll(int fd, const char* data, std::size_t n) {
    while (n > 0) {
        ssize_t w = ::send(fd, data, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        data += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// "bytes=a-b" or "bytes=a-"; false when absent or not of that form.
bool ParseRange(const std::string& v, std::int64_t& first, std::int64_t& last) {
    const std::string p = "bytes=";
    if (v.compare(0, p.size(), p) != 0) return false;
    auto dash = v.find('-', p.size());
    if (dash == std::string::npos || dash == p.size()) return false;
    try {
        first = std::stoll(v.substr(p.size(), dash - p.size()));
        last = dash + 1 < v.size() ? std::stoll(v.substr(dash + 1)) : -1;
    } catch (...) {
        return false;
    }
    return first >= 0;
}

} // namespace

char PatternByte(std::int64_t offset) {
    auto x = static_cast<std::uint64_t>(offset) * 0x9E3779B97F4A7C15ull;
    return static_cast<char>((x >> 56) ^ (x >> 29));
}

std::string PatternBytes(std::int64_t offset, std::int64_t count) {
    std::string s(static_cast<std::size_t>(count < 0 ? 0 : count), '\0');
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = PatternByte(offset + std::int64_t(i));
    return s;
}

std::string ReceivedRequest::Header(const std::string& name) const {
    const std::string want = Lower(name) + ":";
    std::size_t pos = head.find("\r\n");
    while (pos != std::string::npos) {
        pos += 2;
        auto end = head.find("\r\n", pos);
        std::string line =
            head.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (Lower(line.substr(0, want.size())) == want) {
            auto v = line.substr(want.size());
            auto b = v.find_first_not_of(' ');
            return b == std::string::npos ? std::string() : v.substr(b);
        }
        pos = end;
    }
    return {};
}

FaultServer::FaultServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("FaultServer: socket failed");
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0 ||
        ::listen(listenFd_, 64) < 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len) < 0) {
        ::close(listenFd_);
        throw std::runtime_error("FaultServer: cannot listen");
    }
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

FaultServer::~FaultServer() {
    stopping_ = true;
    ::shutdown(listenFd_, SHUT_RDWR);
    acceptor_.join();
    ::close(listenFd_);
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (int fd : openFds_)
            ::shutdown(fd, SHUT_RDWR);
        workers.swap(workers_);
    }
    for (auto& t : workers)
        t.join();
}

std::string FaultServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void FaultServer::Route(const std::string& path, FaultRoute route) {
    std::lock_guard<std::mutex> lock(mutex_);
    routes_[path] = std::move(route);
}

void FaultServer::RedirectLoop(const std::string& a, const std::string& b) {
    FaultRoute ra;
    ra.status = 302;
    ra.location = Url(b);
    FaultRoute rb;
    rb.status = 302;
    rb.location = Url(a);
    Route(a, ra);
    Route(b, rb);
}

std::vector<ReceivedRequest> FaultServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<ReceivedRequest> FaultServer::RequestsFor(const std::string& path) const {
    std::vector<ReceivedRequest> out;
    for (auto& r : Requests())
        if (r.target == path || r.target.substr(0, r.target.find('?')) == path) out.push_back(r);
    return out;
}

void FaultServer::AcceptLoop() {
    for (;;) {
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return; // shut down
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            ::close(fd);
            return;
        }
        openFds_.push_back(fd);
        workers_.emplace_back([this, fd] { Serve(fd); });
    }
}

bool FaultServer::Pause(int ms) const {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopping_ && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 10)));
    return !stopping_;
}

void FaultServer::Serve(int fd) {
    auto finish = [&](bool reset) {
        if (reset) {
            linger l{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        } else {
            ::shutdown(fd, SHUT_WR);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        std::erase(openFds_, fd);
        ::close(fd);
    };

    // The request head.
    std::string in;
    std::size_t end = std::string::npos;
    while (!stopping_ && (end = in.find("\r\n\r\n")) == std::string::npos && in.size() < 65536) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        char buf[4096];
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        in.append(buf, static_cast<std::size_t>(n));
    }
    if (end == std::string::npos) return finish(false);

    ReceivedRequest req;
    req.head = in.substr(0, end);
    req.requestLine = req.head.substr(0, req.head.find("\r\n"));
    auto sp1 = req.requestLine.find(' ');
    auto sp2 = req.requestLine.rfind(' ');
    req.method = req.requestLine.substr(0, sp1);
    if (sp1 != std::string::npos && sp2 > sp1)
        req.target = req.requestLine.substr(sp1 + 1, sp2 - sp1 - 1);

    FaultRoute route;
    bool found = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(req);
        auto it = routes_.find(req.target);
        if (it == routes_.end()) it = routes_.find(req.target.substr(0, req.target.find('?')));
        if (it != routes_.end()) {
            route = it->second;
            found = true;
        }
    }
    if (!found) {
        route = FaultRoute{};
        route.status = 404;
        route.body = "<html>Not Found</html>";
        route.acceptRanges = false;
    }

    if (route.silent) {
        // Says nothing until the client gives up or the server stops.
        while (!stopping_) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char c;
                if (::recv(fd, &c, 1, 0) <= 0) break;
            }
        }
        return finish(false);
    }

    int status = route.status;
    bool authorised = true;
    if (!route.realm.empty()) {
        QByteArray cred = QByteArray::fromStdString(route.user + ":" + route.password).toBase64();
        authorised = req.Header("Authorization") == "Basic " + cred.toStdString();
    }

    std::int64_t size = route.Size();
    std::int64_t first = 0, last = size - 1;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string fixedBody;
    bool patternBody = false;
    if (!authorised) {
        status = 401;
        headers.emplace_back("WWW-Authenticate", "Basic realm=\"" + route.realm + "\"");
        fixedBody = "<html>Unauthorized</html>";
    } else if (status / 100 != 2) {
        fixedBody =
            route.body.empty() ? std::string("<html>") + Reason(status) + "</html>" : route.body;
    } else {
        std::int64_t f = 0, l = -1;
        if (route.honourRanges && ParseRange(req.Header("Range"), f, l)) {
            if (f >= size) {
                status = 416;
                headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
                first = 0;
                last = -1;
            } else {
                status = 206;
                first = f;
                last = (l < 0 || l >= size) ? size - 1 : l;
                headers.emplace_back("Content-Range", "bytes " + std::to_string(first) + "-" +
                                                          std::to_string(last) + "/" +
                                                          std::to_string(size));
            }
        }
        patternBody = route.body.empty();
    }
    std::int64_t length =
        patternBody || status / 100 == 2 ? last - first + 1 : std::int64_t(fixedBody.size());
    if (status / 100 == 2 && !patternBody) fixedBody = route.body.substr(first, length);
    if (route.contentLength) headers.emplace_back("Content-Length", std::to_string(length));
    if (route.acceptRanges) headers.emplace_back("Accept-Ranges", "bytes");
    if (!route.lastModified.empty()) headers.emplace_back("Last-Modified", route.lastModified);
    if (!route.location.empty()) headers.emplace_back("Location", route.location);
    headers.emplace_back("Content-Type", "application/octet-stream");
    for (auto& h : route.headers)
        headers.push_back(h);

    std::string head = "HTTP/1.0 " + std::to_string(status) + " " + Reason(status) + "\r\n";
    for (auto& [name, value] : headers)
        head += (route.oddCaseHeaders ? Inverted(name) : name) + ": " + value + "\r\n";
    head += "\r\n";
    if (!SendAll(fd, head.data(), head.size())) return finish(false);
    if (req.method == "HEAD") return finish(false);

    std::int64_t sent = 0;
    const std::int64_t chunk = route.chunk > 0 ? route.chunk : 64 * 1024;
    while (sent < length && !stopping_) {
        std::int64_t n = std::min(chunk, length - sent);
        if (route.closeAfter >= 0) n = std::min(n, route.closeAfter - sent);
        if (route.resetAfter >= 0) n = std::min(n, route.resetAfter - sent);
        if (n <= 0) break;
        std::string piece = patternBody ? PatternBytes(first + sent, n)
                                        : fixedBody.substr(static_cast<std::size_t>(sent), n);
        if (!SendAll(fd, piece.data(), piece.size())) return finish(false);
        sent += n;
        if (route.delayMs > 0 && sent < length && !Pause(route.delayMs)) break;
    }
    if (route.resetAfter >= 0 && sent >= route.resetAfter) {
        // Let the bytes reach the client before the reset overtakes them.
        Pause(20);
        return finish(true);
    }
    finish(false);
}

std::string RawExchange(int port, const std::string& request, int timeoutMs) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    std::string out;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        SendAll(fd, request.data(), request.size())) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < until) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[65536];
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            out.append(buf, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return out;
}

} // namespace platform::testing
