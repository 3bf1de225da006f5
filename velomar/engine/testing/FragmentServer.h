#pragma once
// A tiny HTTP/1.0 server for the engine tests that cuts the start of every
// answer into fragments (one write each, with a pause between them), so the
// client sees the header arrive in pieces. It serves one resource with byte
// ranges on 127.0.0.1 (a free port), on a thread of its own.
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace enginetest {

class FragmentServer {
public:
    // `cuts`: sizes of the first writes of every answer; the rest goes at once.
    FragmentServer(std::string body, std::vector<std::size_t> cuts, std::string extraHeaders = "")
        : body_(std::move(body)), cuts_(std::move(cuts)), extra_(std::move(extraHeaders)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 16);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Loop(); });
    }
    ~FragmentServer() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::vector<std::string> Requests() const {
        std::lock_guard<std::mutex> l(mutex_);
        return requests_;
    }

private:
    void Loop() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) continue;
            Serve(c);
            ::close(c);
        }
    }
    void Serve(int c) {
        std::string req;
        char buf[4096];
        while (req.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0) return;
            req.append(buf, static_cast<std::size_t>(n));
        }
        {
            std::lock_guard<std::mutex> l(mutex_);
            requests_.push_back(req.substr(0, req.find("\r\n\r\n")));
        }
        std::size_t first = 0, last = body_.size() - 1;
        std::string status = "200 OK", range;
        std::size_t r = req.find("\r\nRange: bytes=");
        if (r != std::string::npos) {
            first = std::stoull(req.substr(r + 15));
            std::size_t dash = req.find('-', r + 15);
            if (dash + 1 < req.size() && std::isdigit(static_cast<unsigned char>(req[dash + 1])))
                last = std::stoull(req.substr(dash + 1));
            status = "206 Partial Content";
            range = "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) +
                    "/" + std::to_string(body_.size()) + "\r\n";
        }
        std::string out = "HTTP/1.0 " + status + "\r\n" + range +
                          "Content-Length: " + std::to_string(last - first + 1) + "\r\n" +
                          "Accept-Ranges: bytes\r\n" + extra_ + "\r\n";
        if (req.rfind("GET", 0) == 0) out += body_.substr(first, last - first + 1);
        std::size_t at = 0;
        for (std::size_t cut : cuts_) {
            if (at >= out.size()) break;
            std::size_t n = std::min(cut, out.size() - at);
            ::send(c, out.data() + at, n, MSG_NOSIGNAL);
            at += n;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (at < out.size()) ::send(c, out.data() + at, out.size() - at, MSG_NOSIGNAL);
    }

    std::string body_;
    std::vector<std::size_t> cuts_;
    std::string extra_;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

} // namespace enginetest
