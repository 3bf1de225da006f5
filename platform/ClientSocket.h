#pragma once
// Non-blocking TCP client socket driven by the Qt event loop of its thread.
//
// Event contract (every handler may be unset):
//  - Open() never raises and never calls a handler; the outcome arrives later
//    from the event loop: OnConnect, then OnWrite once (the connection can be
//    written), then OnRead whenever bytes wait, then OnDisconnect when the
//    peer closed; or OnError.
//  - Close() on an active socket raises OnDisconnect synchronously, from
//    inside the call: it is the one event that is delivered re-entrantly.
//    Closing an inactive socket does nothing, so OnDisconnect comes once per
//    Open, whoever ends the connection.
//  - OnError receives the error code by reference. A handler that sets it to 0
//    has handled the error: the socket stays Active (its connection is gone)
//    until the owner closes or destroys it. A code left non-zero is reported
//    to the unhandled-error reporter (SetUnhandledErrorReporter) and the
//    socket closes itself, raising OnDisconnect.
//  - A handler may delete the socket (or its owner). Nothing of the socket is
//    touched after a handler that deleted it returns; pending events of a
//    deleted socket are dropped. Destruction closes without raising events.
//
// The connection goes to Address (numeric, no lookup) when it is set, else to
// Host: a numeric host is used as it stands, a name is resolved on a worker
// thread (QHostInfo) while the event loop runs on. IPv4 addresses are
// preferred over IPv6 ones.
//
// Received bytes are pulled from the kernel in large pieces into a buffer of
// the socket; ReceiveLength counts that buffer and what the kernel holds.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

enum class SocketErrorEvent { General, Lookup, Connect, Send, Receive, Disconnect };

class ClientSocket {
public:
    using Handler = std::function<void(ClientSocket& socket)>;
    using ErrorHandler =
        std::function<void(ClientSocket& socket, SocketErrorEvent event, int& errorCode)>;

    ClientSocket();
    virtual ~ClientSocket();
    ClientSocket(const ClientSocket&) = delete;
    ClientSocket& operator=(const ClientSocket&) = delete;

    // Where to connect; take effect at the next Open.
    void SetHost(const std::string& host) { host_ = host; }
    const std::string& Host() const { return host_; }
    void SetAddress(const std::string& address) { address_ = address; }
    const std::string& Address() const { return address_; }
    void SetPort(int port) { port_ = port; }
    int Port() const { return port_; }
    // The numeric address actually connected to; empty before the connection.
    const std::string& RemoteAddress() const { return remoteAddress_; }

    // True from Open until OnDisconnect (or destruction).
    bool Active() const { return active_; }
    // True between OnConnect and the end of the connection.
    bool Connected() const { return connected_; }

    void Open();  // does nothing when already active
    void Close(); // raises OnDisconnect once when active

    // Bytes that can be read now without waiting.
    std::int64_t ReceiveLength() const;
    // Reads up to `count` bytes; returns how many were read (0 when none wait).
    std::int64_t ReceiveBuf(void* buffer, std::int64_t count);
    // Everything that waits now.
    std::string ReceiveText();

    // Queues all of `data` for sending (also before the connection is up);
    // what the kernel does not take at once is sent as the socket becomes
    // writable. Returns the number of bytes accepted: all of them, or 0 when
    // the socket is not active. Failures arrive as OnError.
    std::int64_t SendText(const std::string& data);
    std::int64_t SendBuf(const void* data, std::int64_t count);
    // Bytes accepted by SendText that the kernel has not taken yet.
    std::int64_t SendPending() const { return static_cast<std::int64_t>(outBuf_.size()); }

    // A connection that neither connects nor receives anything for `ms`
    // milliseconds fails with the error kTimedOut (10060); 0 (the default)
    // waits forever. Counting starts at Open.
    void SetInactivityTimeout(int ms);
    int InactivityTimeout() const { return idleMs_; }

    Handler OnConnect;
    Handler OnDisconnect;
    Handler OnRead;
    Handler OnWrite;
    ErrorHandler OnError;

    // Receives the errors no handler took on (code, description). The default
    // writes them to the Qt warning log.
    using UnhandledErrorReporter = std::function<void(int code, const std::string& message)>;
    static void SetUnhandledErrorReporter(UnhandledErrorReporter reporter);

private:
    struct Impl;
    friend struct Impl;

    void Teardown();
    void StartConnect(const std::string& numericAddress);
    void PostError(SocketErrorEvent event, int code);
    void RaiseError(SocketErrorEvent event, int code);
    void OnReadable();
    void OnWritable();
    void FlushOut();
    bool FillBuffer();
    void ScheduleRead();
    void TouchActivity();

    std::string host_;
    std::string address_;
    std::string remoteAddress_;
    int port_ = 0;
    int idleMs_ = 0;
    bool active_ = false;
    bool connected_ = false;
    bool failed_ = false;
    int fd_ = -1;
    std::uint64_t generation_ = 0; // changes at every Open and teardown
    std::string inBuf_;
    std::size_t inPos_ = 0;
    std::string outBuf_;
    bool consumedSinceEvent_ = true;
    std::shared_ptr<bool> alive_;
    std::unique_ptr<Impl> impl_;
};

} // namespace platform
