#include "platform/ClientSocket.h"

#include "platform/WinsockErrors.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QHostInfo>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// One recv takes this much at most; the callers read it in small pieces.
constexpr std::size_t kChunk = 256 * 1024;

ClientSocket::UnhandledErrorReporter& Reporter() {
    static ClientSocket::UnhandledErrorReporter reporter;
    return reporter;
}

using Clock = std::chrono::steady_clock;

} // namespace

struct ClientSocket::Impl {
    QObject context; // receiver of queued calls and lookups; dropping it drops them
    std::unique_ptr<QSocketNotifier> readNotifier;
    std::unique_ptr<QSocketNotifier> writeNotifier;
    QTimer idleTimer;
    Clock::time_point lastActivity;
    int lookupId = -1;
    bool readScheduled = false;
    // Received bytes [inBegin, inEnd); left uninitialised, since zeroing the
    // whole chunk cost more than a small answer's entire exchange.
    std::unique_ptr<char[]> in;
    std::size_t inBegin = 0;
    std::size_t inEnd = 0;

    std::size_t Buffered() const { return inEnd - inBegin; }
};

void ClientSocket::SetUnhandledErrorReporter(UnhandledErrorReporter reporter) {
    Reporter() = std::move(reporter);
}

ClientSocket::ClientSocket() : alive_(std::make_shared<bool>(true)), impl_(new Impl) {
    impl_->idleTimer.setSingleShot(true);
    QObject::connect(&impl_->idleTimer, &QTimer::timeout, &impl_->context, [this] {
        if (!active_ || failed_ || idleMs_ <= 0) return;
        auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() -
                                                                          impl_->lastActivity);
        if (idle.count() < idleMs_) {
            impl_->idleTimer.start(static_cast<int>(idleMs_ - idle.count()));
            return;
        }
        RaiseError(connected_ ? SocketErrorEvent::Receive : SocketErrorEvent::Connect,
                   wsa::kTimedOut);
    });
}

ClientSocket::~ClientSocket() {
    alive_.reset();
    Teardown();
}

void ClientSocket::SetInactivityTimeout(int ms) {
    idleMs_ = ms < 0 ? 0 : ms;
    if (!active_ || failed_) return;
    if (idleMs_ == 0)
        impl_->idleTimer.stop();
    else
        impl_->idleTimer.start(idleMs_);
}

void ClientSocket::TouchActivity() {
    impl_->lastActivity = Clock::now();
}

void ClientSocket::Teardown() {
    impl_->readNotifier.reset();
    impl_->writeNotifier.reset();
    impl_->idleTimer.stop();
    // A lookup in flight is not aborted (aborting leaks its callback in Qt);
    // its late answer finds another generation and is dropped.
    impl_->lookupId = -1;
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    connected_ = false;
}

void ClientSocket::Open() {
    if (active_) return;
    active_ = true;
    connected_ = false;
    failed_ = false;
    ++generation_;
    impl_->inBegin = impl_->inEnd = 0;
    outBuf_.clear();
    remoteAddress_.clear();
    consumedSinceEvent_ = true;
    TouchActivity();
    if (idleMs_ > 0) impl_->idleTimer.start(idleMs_);

    if (!address_.empty()) {
        StartConnect(address_);
        return;
    }
    if (host_.empty()) {
        PostError(SocketErrorEvent::Lookup, wsa::kHostNotFound);
        return;
    }
    QHostAddress numeric;
    if (numeric.setAddress(QString::fromLatin1(host_))) {
        StartConnect(host_);
        return;
    }
    const auto gen = generation_;
    // The answer goes to the application object, not to this socket's own
    // context: Qt leaks a lookup's callback when its receiver dies first, and
    // sockets are often destroyed while they look up. The guard tells a late
    // answer that its socket is gone.
    QPointer<QObject> alive(&impl_->context);
    impl_->lookupId = QHostInfo::lookupHost(
        QString::fromLatin1(host_), QCoreApplication::instance(),
        [this, gen, alive](const QHostInfo& info) {
            if (!alive || gen != generation_ || !active_ || failed_) return;
            impl_->lookupId = -1;
            if (info.error() != QHostInfo::NoError) {
                RaiseError(SocketErrorEvent::Lookup, info.error() == QHostInfo::HostNotFound
                                                         ? wsa::kHostNotFound
                                                         : wsa::kTryAgain);
                return;
            }
            QString chosen;
            for (const auto& a : info.addresses())
                if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                    chosen = a.toString();
                    break;
                }
            if (chosen.isEmpty() && !info.addresses().isEmpty())
                chosen = info.addresses().first().toString();
            if (chosen.isEmpty()) {
                RaiseError(SocketErrorEvent::Lookup, wsa::kNoData);
                return;
            }
            StartConnect(chosen.toStdString());
        });
}

void ClientSocket::StartConnect(const std::string& numericAddress) {
    sockaddr_storage ss{};
    socklen_t len = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&ss);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&ss);
    std::string addr = numericAddress;
    if (addr.size() > 2 && addr.front() == '[' && addr.back() == ']')
        addr = addr.substr(1, addr.size() - 2);
    if (inet_pton(AF_INET, addr.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port_));
        len = sizeof(sockaddr_in);
    } else if (inet_pton(AF_INET6, addr.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port_));
        len = sizeof(sockaddr_in6);
    } else {
        PostError(SocketErrorEvent::Connect, wsa::kInvalidArgument);
        return;
    }
    if (port_ <= 0 || port_ > 65535) {
        PostError(SocketErrorEvent::Connect, wsa::kAddressNotAvailable);
        return;
    }
    remoteAddress_ = addr;
    fd_ = ::socket(ss.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        PostError(SocketErrorEvent::Connect, wsa::FromErrno(errno));
        return;
    }
    int rc;
    do {
        rc = ::connect(fd_, reinterpret_cast<sockaddr*>(&ss), len);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0 && errno != EINPROGRESS) {
        PostError(SocketErrorEvent::Connect, wsa::FromErrno(errno));
        return;
    }
    // Completion (immediate or not) is reported by writability, from the loop.
    impl_->writeNotifier = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
    QObject::connect(impl_->writeNotifier.get(), &QSocketNotifier::activated, &impl_->context,
                     [this] { OnWritable(); });
}

void ClientSocket::PostError(SocketErrorEvent event, int code) {
    Teardown();
    failed_ = true;
    const auto gen = generation_;
    QMetaObject::invokeMethod(
        &impl_->context,
        [this, gen, event, code] {
            if (gen == generation_ && active_) RaiseError(event, code);
        },
        Qt::QueuedConnection);
}

void ClientSocket::RaiseError(SocketErrorEvent event, int code) {
    Teardown();
    failed_ = true;
    std::weak_ptr<bool> alive = alive_;
    const auto gen = generation_;
    int handled = code;
    if (auto h = OnError) h(*this, event, handled);
    if (alive.expired() || handled == 0) return;
    if (auto& report = Reporter())
        report(handled, wsa::Describe(handled));
    else
        qWarning("Asynchronous socket error %d: %s", handled, wsa::Describe(handled).c_str());
    if (gen == generation_) Close();
}

void ClientSocket::Close() {
    if (!active_) return;
    Teardown();
    active_ = false;
    failed_ = false;
    ++generation_;
    impl_->inBegin = impl_->inEnd = 0;
    outBuf_.clear();
    if (auto h = OnDisconnect) h(*this);
}

void ClientSocket::OnWritable() {
    if (fd_ < 0) return;
    if (!connected_) {
        int err = 0;
        socklen_t len = sizeof err;
        if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) < 0) err = errno;
        if (err != 0) {
            RaiseError(SocketErrorEvent::Connect, wsa::FromErrno(err));
            return;
        }
        connected_ = true;
        TouchActivity();
        impl_->writeNotifier->setEnabled(false);
        impl_->readNotifier = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        QObject::connect(impl_->readNotifier.get(), &QSocketNotifier::activated, &impl_->context,
                         [this] { OnReadable(); });
        if (!outBuf_.empty()) {
            FlushOut(); // bytes queued while connecting
            if (failed_) return;
        }
        std::weak_ptr<bool> alive = alive_;
        const auto gen = generation_;
        if (auto h = OnConnect) h(*this);
        if (alive.expired() || gen != generation_ || !connected_) return;
        if (auto h = OnWrite) h(*this);
        return;
    }
    FlushOut();
}

void ClientSocket::FlushOut() {
    while (!outBuf_.empty() && fd_ >= 0) {
        ssize_t n = ::send(fd_, outBuf_.data(), outBuf_.size(), MSG_NOSIGNAL);
        if (n > 0) {
            outBuf_.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            impl_->writeNotifier->setEnabled(true);
            return;
        }
        PostError(SocketErrorEvent::Send, wsa::FromErrno(n < 0 ? errno : EPIPE));
        return;
    }
    if (impl_->writeNotifier) impl_->writeNotifier->setEnabled(false);
}

std::int64_t ClientSocket::SendBuf(const void* data, std::int64_t count) {
    if (!active_ || failed_ || count <= 0) return 0;
    outBuf_.append(static_cast<const char*>(data), static_cast<std::size_t>(count));
    if (connected_) FlushOut();
    return count;
}

std::int64_t ClientSocket::SendText(const std::string& data) {
    return SendBuf(data.data(), static_cast<std::int64_t>(data.size()));
}

std::int64_t ClientSocket::ReceiveLength() const {
    std::int64_t n = static_cast<std::int64_t>(impl_->Buffered());
    int kernel = 0;
    if (fd_ >= 0 && connected_ && ioctl(fd_, FIONREAD, &kernel) == 0 && kernel > 0) n += kernel;
    return n;
}

bool ClientSocket::FillBuffer() {
    if (fd_ < 0 || !connected_) return false;
    if (!impl_->in) impl_->in = std::make_unique_for_overwrite<char[]>(kChunk);
    ssize_t n;
    do {
        n = ::recv(fd_, impl_->in.get(), kChunk, 0);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        impl_->inBegin = 0;
        impl_->inEnd = static_cast<std::size_t>(n);
        TouchActivity();
        return true;
    }
    // The kernel reports an error only once: keep it for the event loop.
    if (n < 0 && errno != EAGAIN) PostError(SocketErrorEvent::Receive, wsa::FromErrno(errno));
    return false;
}

std::int64_t ClientSocket::ReceiveBuf(void* buffer, std::int64_t count) {
    if (count <= 0) return 0;
    if (!consumedSinceEvent_) {
        consumedSinceEvent_ = true;
        if (impl_->readNotifier) impl_->readNotifier->setEnabled(true);
    }
    auto* out = static_cast<char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        if (impl_->Buffered() == 0 && !FillBuffer()) break;
        std::size_t take =
            std::min<std::size_t>(impl_->Buffered(), static_cast<std::size_t>(count - done));
        std::memcpy(out + done, impl_->in.get() + impl_->inBegin, take);
        impl_->inBegin += take;
        done += static_cast<std::int64_t>(take);
    }
    return done;
}

std::string ClientSocket::ReceiveText() {
    std::string text;
    for (;;) {
        std::int64_t n = ReceiveLength();
        if (n <= 0) break;
        std::size_t old = text.size();
        text.resize(old + static_cast<std::size_t>(n));
        std::int64_t got = ReceiveBuf(text.data() + old, n);
        text.resize(old + static_cast<std::size_t>(got));
        if (got < n) break;
    }
    return text;
}

void ClientSocket::ScheduleRead() {
    if (impl_->readScheduled) return;
    impl_->readScheduled = true;
    const auto gen = generation_;
    QMetaObject::invokeMethod(
        &impl_->context,
        [this, gen] {
            impl_->readScheduled = false;
            if (gen == generation_ && active_ && !failed_ && impl_->Buffered() > 0) OnReadable();
        },
        Qt::QueuedConnection);
}

void ClientSocket::OnReadable() {
    if (!consumedSinceEvent_) {
        // The last read event was left unanswered: wait for a read call.
        if (impl_->readNotifier) impl_->readNotifier->setEnabled(false);
        return;
    }
    if (ReceiveLength() > 0) {
        consumedSinceEvent_ = false;
        std::weak_ptr<bool> alive = alive_;
        const auto gen = generation_;
        if (auto h = OnRead) h(*this);
        if (alive.expired() || gen != generation_ || failed_) return;
        if (impl_->Buffered() > 0 && consumedSinceEvent_) ScheduleRead();
        return;
    }
    if (fd_ < 0) return;
    char c;
    ssize_t n = ::recv(fd_, &c, 1, MSG_PEEK);
    if (n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR))) return;
    if (n < 0) {
        RaiseError(SocketErrorEvent::Receive, wsa::FromErrno(errno));
        return;
    }
    // Orderly close by the peer, every byte read.
    Teardown();
    active_ = false;
    ++generation_;
    outBuf_.clear();
    if (auto h = OnDisconnect) h(*this);
}

} // namespace platform
