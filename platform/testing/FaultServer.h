#pragma once
// Our own HTTP/1.0 server for the faults that real servers will not produce.
// It listens on 127.0.0.1 (a free port) and runs on threads of its own (one
// accepting, one per connection), so a test may block or run its event loop
// as it likes while the server answers. Every answer closes its connection.
//
// Each request path is scripted by a FaultRoute; an unknown path gets 404.
// Every request received is recorded, in arrival order.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace platform::testing {

// Byte `offset` of the generated content of a route without a body: every
// offset gets a byte of its own mix, so a byte written at a wrong place shows.
char PatternByte(std::int64_t offset);
std::string PatternBytes(std::int64_t offset, std::int64_t count);

struct FaultRoute {
    int status = 200;
    std::string body;         // the resource; when empty, `size` pattern bytes
    std::int64_t size = -1;   // used when `body` is empty
    bool acceptRanges = true; // "Accept-Ranges: bytes" is announced
    bool honourRanges = true; // false: a Range request still gets 200 and the whole body
    bool contentLength = true;
    bool oddCaseHeaders = false; // "cONTENT-lENGTH: ..." and the like
    std::string lastModified;
    std::string location;
    // Basic authentication: with a realm, answers 401 with a challenge unless
    // the request carries exactly these credentials.
    std::string realm;
    std::string user;
    std::string password;
    std::int64_t closeAfter = -1;   // body bytes sent before an orderly close
    std::int64_t resetAfter = -1;   // body bytes sent before a reset (RST)
    bool silent = false;            // reads the request, then sends nothing
    std::int64_t chunk = 64 * 1024; // bytes per write...
    int delayMs = 0;                // ...and the pause between writes
    std::vector<std::pair<std::string, std::string>> headers; // sent as they stand

    std::int64_t Size() const {
        return body.empty() ? (size < 0 ? 0 : size) : std::int64_t(body.size());
    }
};

struct ReceivedRequest {
    std::string requestLine; // without its CR LF
    std::string method;
    std::string target;
    std::string head; // everything before the blank line
    // Value of the first header of that name (case-insensitive), "" when absent.
    std::string Header(const std::string& name) const;
};

class FaultServer {
public:
    FaultServer();
    ~FaultServer();
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    int Port() const { return port_; }
    // "http://127.0.0.1:<port>" + path
    std::string Url(const std::string& path) const;

    // Scripts `path` (the request target up to "?", or the whole target).
    void Route(const std::string& path, FaultRoute route);
    // Two paths that send each other away with 302.
    void RedirectLoop(const std::string& a, const std::string& b);

    std::vector<ReceivedRequest> Requests() const;
    std::vector<ReceivedRequest> RequestsFor(const std::string& path) const;

private:
    void AcceptLoop();
    void Serve(int fd);
    bool Pause(int ms) const;

    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::map<std::string, FaultRoute> routes_;
    std::vector<ReceivedRequest> requests_;
    std::vector<int> openFds_;
    std::vector<std::thread> workers_;
    std::thread acceptor_;
};

// Sends `request` to 127.0.0.1:port over a blocking socket and returns every
// byte received until the server closes (or `timeoutMs` passed).
std::string RawExchange(int port, const std::string& request, int timeoutMs = 5000);

} // namespace platform::testing
