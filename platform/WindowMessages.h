#pragma once
// Messages registered by name and their broadcast between processes of the
// user. Every process that listens for a message owns one local endpoint in
// RuntimeDir()/messages named after the message and its process id; a
// broadcast reaches every such endpoint but the sender's own, one after the
// other, and waits for each receiver's answer.
//
// Receivers answer from their event loop, so a handler runs between other
// events like any window message; it should only take note and return.
#include <QObject>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QLocalServer;

namespace platform {

class RegisteredMessage : public QObject {
public:
    using Handler = std::function<std::int64_t(std::int64_t wParam, std::int64_t lParam)>;

    explicit RegisteredMessage(std::string name, QObject* parent = nullptr);
    ~RegisteredMessage() override;

    const std::string& Name() const { return name_; }

    // Starts receiving the message in this process; false when the endpoint
    // cannot be made.
    bool Listen(Handler handler);
    bool Listening() const;

    // Sends the message to every other listening process and returns their
    // answers, in no particular order. A receiver that does not answer within
    // `timeoutMs` is left out; endpoints of ended processes are removed.
    std::vector<std::int64_t> Broadcast(std::int64_t wParam, std::int64_t lParam,
                                        int timeoutMs = 5000) const;

private:
    std::string Prefix() const; // endpoint path without the process id

    std::string name_;
    Handler handler_;
    QLocalServer* server_ = nullptr;
};

} // namespace platform
