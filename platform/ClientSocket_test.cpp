#include "platform/ClientSocket.h"
#include "platform/WinsockErrors.h"
#include "platform/testing/EventLoop.h"
#include "platform/testing/TempDir.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <sys/socket.h>
#include <vector>

using namespace platform;
using platform::testing::RunFor;
using platform::testing::RunUntil;

namespace {

// A loopback server in the test's own event loop; each accepted connection is
// handed to `onAccept`.
struct LoopServer {
    QTcpServer server;
    std::vector<QTcpSocket*> peers;
    std::function<void(QTcpSocket*)> onAccept;

    LoopServer() {
        platform::testing::App();
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (auto* s = server.nextPendingConnection()) {
                peers.push_back(s);
                if (onAccept) onAccept(s);
            }
        });
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    }
    int Port() const { return server.serverPort(); }
};

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 131 + i / 977) & 0xff);
    return s;
}

// Records events in order and reads everything in 1,024-byte pieces, the way
// the download engines do.
struct Recorder {
    std::vector<std::string> events;
    std::string received;
    int errorCode = 0;
    SocketErrorEvent errorEvent = SocketErrorEvent::General;
    bool handleErrors = true;

    void Attach(ClientSocket& s) {
        s.OnConnect = [this](ClientSocket&) { events.push_back("connect"); };
        s.OnWrite = [this](ClientSocket&) { events.push_back("write"); };
        s.OnDisconnect = [this](ClientSocket&) { events.push_back("disconnect"); };
        s.OnRead = [this](ClientSocket& sock) {
            if (events.empty() || events.back() != "read") events.push_back("read");
            std::int64_t n = sock.ReceiveLength();
            char buf[1024];
            while (n > 0) {
                auto got = sock.ReceiveBuf(buf, std::min<std::int64_t>(n, sizeof buf));
                if (got <= 0) break;
                received.append(buf, static_cast<std::size_t>(got));
                n -= got;
            }
        };
        s.OnError = [this](ClientSocket&, SocketErrorEvent ev, int& code) {
            events.push_back("error " + std::to_string(code));
            errorCode = code;
            errorEvent = ev;
            if (handleErrors) code = 0;
        };
    }
    int Count(const std::string& e) const {
        return static_cast<int>(std::count(events.begin(), events.end(), e));
    }
};

} // namespace

TEST(ClientSocket, ExchangesDataInOrderFromTheEventLoop) {
    LoopServer srv;
    const std::string payload = Pattern(5 * 1024 * 1024 + 17);
    std::string request;
    srv.onAccept = [&](QTcpSocket* peer) {
        QObject::connect(peer, &QTcpSocket::readyRead, [&, peer] {
            request += peer->readAll().toStdString();
            if (request.find("\r\n\r\n") != std::string::npos) {
                peer->write(payload.data(), static_cast<qint64>(payload.size()));
                peer->disconnectFromHost(); // after everything was written
            }
        });
    };

    ClientSocket sock;
    Recorder rec;
    rec.Attach(sock);
    sock.OnWrite = [&](ClientSocket& s) {
        rec.events.push_back("write");
        s.SendText("GET / HTTP/1.0\r\n\r\n");
    };
    sock.SetHost("127.0.0.1");
    sock.SetPort(srv.Port());
    sock.SendText("ignored before Open");
    sock.Open();
    EXPECT_TRUE(sock.Active());
    EXPECT_TRUE(rec.events.empty()) << "no event from inside Open";

    ASSERT_TRUE(RunUntil([&] { return rec.Count("disconnect") > 0; }));
    RunFor(50);
    EXPECT_EQ(request, "GET / HTTP/1.0\r\n\r\n");
    ASSERT_EQ(rec.received.size(), payload.size());
    EXPECT_TRUE(rec.received == payload);
    std::vector<std::string> want = {"connect", "write", "read", "disconnect"};
    EXPECT_EQ(rec.events, want);
    EXPECT_FALSE(sock.Active());
    EXPECT_EQ(sock.RemoteAddress(), "127.0.0.1");
    sock.Close(); // already closed by the peer: no second event
    EXPECT_EQ(rec.Count("disconnect"), 1);
}

TEST(ClientSocket, QueuedTextGoesOutOnceConnectedAndBigSendsAreFlushed) {
    LoopServer srv;
    std::string got;
    srv.onAccept = [&](QTcpSocket* peer) {
        QObject::connect(peer, &QTcpSocket::readyRead,
                         [&, peer] { got += peer->readAll().toStdString(); });
    };
    ClientSocket sock;
    sock.SetHost("127.0.0.1");
    sock.SetPort(srv.Port());
    sock.Open();
    const std::string big = Pattern(8 * 1024 * 1024); // more than the kernel takes at once
    EXPECT_EQ(sock.SendText("early;"), 6);
    EXPECT_EQ(sock.SendText(big), static_cast<std::int64_t>(big.size()));
    ASSERT_TRUE(RunUntil([&] { return got.size() == big.size() + 6; }));
    EXPECT_TRUE(got == "early;" + big);
    EXPECT_EQ(sock.SendPending(), 0);
}

TEST(ClientSocket, RefusedConnectionIsErrorTenThousandSixtyOne) {
    platform::testing::App();
    const int port = platform::testing::FreePort(); // nobody listens there
    ClientSocket sock;
    Recorder rec;
    rec.Attach(sock);
    sock.SetAddress("127.0.0.1");
    sock.SetPort(port);
    sock.Open();
    EXPECT_TRUE(rec.events.empty());
    ASSERT_TRUE(RunUntil([&] { return rec.errorCode != 0; }));
    EXPECT_EQ(rec.errorCode, wsa::kConnectionRefused);
    EXPECT_EQ(rec.errorEvent, SocketErrorEvent::Connect);
    // Handled: the socket waits for its owner to close it.
    RunFor(30);
    EXPECT_TRUE(sock.Active());
    EXPECT_FALSE(sock.Connected());
    sock.Close();
    sock.Close();
    std::vector<std::string> want = {"error 10061", "disconnect"};
    EXPECT_EQ(rec.events, want);
}

TEST(ClientSocket, UnhandledErrorIsReportedAndClosesTheSocket) {
    platform::testing::App();
    std::vector<int> reported;
    ClientSocket::SetUnhandledErrorReporter(
        [&](int code, const std::string&) { reported.push_back(code); });
    {
        ClientSocket sock;
        Recorder rec;
        rec.Attach(sock);
        rec.handleErrors = false;
        sock.SetHost("127.0.0.1");
        sock.SetPort(platform::testing::FreePort());
        sock.Open();
        ASSERT_TRUE(RunUntil([&] { return rec.Count("disconnect") == 1; }));
        EXPECT_FALSE(sock.Active());
        std::vector<std::string> want = {"error 10061", "disconnect"};
        EXPECT_EQ(rec.events, want);
    }
    ClientSocket::SetUnhandledErrorReporter(nullptr);
    EXPECT_EQ(reported, std::vector<int>{wsa::kConnectionRefused});
}

TEST(ClientSocket, UnresolvableNameFailsWithoutBlockingTheLoop) {
    platform::testing::App();
    int ticks = 0;
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();

    ClientSocket sock;
    Recorder rec;
    rec.Attach(sock);
    sock.SetHost("no-such-host.invalid");
    sock.SetPort(80);
    QElapsedTimer clock;
    clock.start();
    sock.Open();
    EXPECT_LT(clock.elapsed(), 100);
    EXPECT_TRUE(rec.events.empty());
    ASSERT_TRUE(RunUntil([&] { return rec.errorCode != 0; }, 30000));
    EXPECT_EQ(rec.errorCode, wsa::kHostNotFound);
    EXPECT_EQ(rec.errorEvent, SocketErrorEvent::Lookup);
    EXPECT_GT(ticks, 0) << "the loop ran while the name was looked up";

    // An empty host fails the same way, also from the loop.
    ClientSocket empty;
    Recorder rec2;
    rec2.Attach(empty);
    empty.SetPort(80);
    empty.Open();
    EXPECT_TRUE(rec2.events.empty());
    ASSERT_TRUE(RunUntil([&] { return rec2.errorCode != 0; }));
    EXPECT_EQ(rec2.errorCode, wsa::kHostNotFound);
}

TEST(ClientSocket, CloseRaisesDisconnectOnceInEveryPhase) {
    LoopServer srv;
    struct Phase {
        const char* name;
        std::string host;
        bool waitConnected;
    } phases[] = {
        {"looking up", "localhost", false},
        {"connecting", "127.0.0.1", false},
        {"connected", "127.0.0.1", true},
    };
    for (const auto& p : phases) {
        ClientSocket sock;
        Recorder rec;
        rec.Attach(sock);
        sock.SetHost(p.host);
        sock.SetPort(srv.Port());
        sock.Open();
        if (p.waitConnected) {
            ASSERT_TRUE(RunUntil([&] { return rec.Count("write") == 1; }));
        }
        sock.Close();
        EXPECT_EQ(rec.Count("disconnect"), 1) << p.name; // raised inside Close
        EXPECT_FALSE(sock.Active());
        sock.Close();
        RunFor(50); // nothing of the closed connection arrives later
        EXPECT_EQ(rec.Count("disconnect"), 1) << p.name;
        EXPECT_EQ(rec.Count("connect"), p.waitConnected ? 1 : 0) << p.name;
        EXPECT_EQ(rec.errorCode, 0) << p.name;
    }
}

TEST(ClientSocket, ReopensAfterDisconnectFromInsideTheHandler) {
    LoopServer srv;
    srv.onAccept = [](QTcpSocket* peer) {
        peer->write("x");
        peer->disconnectFromHost();
    };
    ClientSocket sock;
    Recorder rec;
    rec.Attach(sock);
    int opens = 1;
    sock.OnDisconnect = [&](ClientSocket& s) {
        rec.events.push_back("disconnect");
        if (opens < 3) {
            ++opens;
            s.Open();
        }
    };
    sock.SetHost("127.0.0.1");
    sock.SetPort(srv.Port());
    sock.Open();
    ASSERT_TRUE(RunUntil([&] { return rec.Count("disconnect") == 3; }));
    EXPECT_EQ(rec.received, "xxx");
    EXPECT_EQ(rec.Count("connect"), 3);
    EXPECT_FALSE(sock.Active());
}

TEST(ClientSocket, ResetAndSilenceAreErrors) {
    LoopServer srv;
    bool reset = true;
    srv.onAccept = [&](QTcpSocket* peer) {
        if (!reset) return; // silent
        peer->write("partial");
        peer->flush();
        QTimer::singleShot(20, peer, [peer] {
            linger l{1, 0};
            setsockopt(static_cast<int>(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &l,
                       sizeof l);
            peer->abort();
        });
    };
    {
        ClientSocket sock;
        Recorder rec;
        rec.Attach(sock);
        sock.SetHost("127.0.0.1");
        sock.SetPort(srv.Port());
        sock.Open();
        ASSERT_TRUE(RunUntil([&] { return rec.errorCode != 0; }));
        EXPECT_EQ(rec.errorCode, wsa::kConnectionReset);
        EXPECT_EQ(rec.errorEvent, SocketErrorEvent::Receive);
        EXPECT_EQ(rec.received, "partial");
        EXPECT_EQ(rec.Count("disconnect"), 0);
    }
    reset = false;
    {
        ClientSocket sock;
        Recorder rec;
        rec.Attach(sock);
        sock.SetInactivityTimeout(150);
        sock.SetHost("127.0.0.1");
        sock.SetPort(srv.Port());
        QElapsedTimer clock;
        clock.start();
        sock.Open();
        ASSERT_TRUE(RunUntil([&] { return rec.errorCode != 0; }));
        EXPECT_GE(clock.elapsed(), 140);
        EXPECT_EQ(rec.errorCode, wsa::kTimedOut);
        EXPECT_EQ(rec.errorEvent, SocketErrorEvent::Receive);
        EXPECT_EQ(rec.Count("connect"), 1);
    }
}

TEST(ClientSocket, DeletingTheSocketInsideItsHandlersIsSafe) {
    LoopServer srv;
    srv.onAccept = [](QTcpSocket* peer) {
        peer->write(QByteArray(300000, 'z'));
        peer->disconnectFromHost();
    };
    const int refused = platform::testing::FreePort();
    enum Where { InConnect, InWrite, InRead, InDisconnect, InError, InCloseDisconnect };
    for (Where where : {InConnect, InWrite, InRead, InDisconnect, InError, InCloseDisconnect}) {
        auto* sock = new ClientSocket;
        bool deleted = false;
        auto kill = [&](ClientSocket& s) {
            delete &s;
            deleted = true;
        };
        if (where == InConnect) sock->OnConnect = kill;
        if (where == InWrite) sock->OnWrite = kill;
        if (where == InRead) sock->OnRead = kill;
        if (where == InDisconnect) {
            sock->OnRead = [](ClientSocket& s) { s.ReceiveText(); };
            sock->OnDisconnect = kill;
        }
        if (where == InError)
            sock->OnError = [&](ClientSocket& s, SocketErrorEvent, int&) {
                kill(s); // code left non-zero: the socket must not report or close itself
            };
        if (where == InCloseDisconnect) {
            sock->OnDisconnect = kill;
            sock->OnRead = [](ClientSocket& s) { s.Close(); };
        }
        sock->SetHost("127.0.0.1");
        sock->SetPort(where == InError ? refused : srv.Port());
        sock->Open();
        EXPECT_TRUE(RunUntil([&] { return deleted; })) << where;
        RunFor(30); // events still queued for it must be dropped
    }
}

TEST(ClientSocket, ErrorNumbersFollowWindowsSockets) {
    struct Case {
        int err;
        int code;
    } cases[] = {
        {ECONNRESET, 10054},  {ETIMEDOUT, 10060},    {ECONNREFUSED, 10061}, {EHOSTUNREACH, 10065},
        {ENETUNREACH, 10051}, {ECONNABORTED, 10053}, {EADDRINUSE, 10048},   {EPIPE, 10054},
        {EMFILE, 10024},      {ENOBUFS, 10055},      {EIO, 10107},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wsa::FromErrno(c.err), c.code) << c.err;
    EXPECT_EQ(wsa::Describe(10061), "Connection refused");
    EXPECT_EQ(wsa::Describe(11001), "Host not found");
}

TEST(ClientSocket, DestroyedWhileLookingUp) {
    platform::testing::App();
    for (int i = 0; i < 3; ++i) {
        auto sock = std::make_unique<ClientSocket>();
        bool called = false;
        sock->OnConnect = [&](ClientSocket&) { called = true; };
        sock->OnError = [&](ClientSocket&, SocketErrorEvent, int&) { called = true; };
        sock->SetHost("localhost");
        sock->SetPort(9);
        sock->Open();
        sock.reset();
        RunFor(100); // the late answer must reach nobody
        EXPECT_FALSE(called);
    }
    // Lookups of one name are answered in order, so once this one is answered
    // the abandoned ones are too and nothing of theirs is left at exit.
    bool answered = false;
    QHostInfo::lookupHost("localhost", qApp, [&](const QHostInfo&) { answered = true; });
    EXPECT_TRUE(RunUntil([&] { return answered; }));
    RunFor(10);
}
