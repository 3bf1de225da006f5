#pragma once
// Native-messaging framing: each message is a 32-bit length in the machine's
// byte order followed by that many bytes of UTF-8 JSON.
#include <QByteArray>
#include <cstdint>

namespace kestrio {

// What a browser accepts from a host in one message.
constexpr uint32_t kMaxMessageToBrowser = 1024 * 1024 - 1;
// What we accept from the browser (the browser's own limit for its messages).
constexpr uint32_t kMaxMessageFromBrowser = 64u * 1024 * 1024;

// The framed message; an empty result when json is too long for the browser.
QByteArray FrameMessage(const QByteArray& json);

// Cuts a byte stream into messages.
class FrameReader {
public:
    void Feed(const char* data, qsizetype n) { buffer_.append(data, n); }
    // The next whole message, if one has arrived. Once a length above
    // kMaxMessageFromBrowser is seen the stream is broken and yields nothing.
    bool Take(QByteArray& message);
    bool Broken() const { return broken_; }
    // Bytes of a message that has not arrived completely.
    bool Pending() const { return !buffer_.isEmpty(); }

private:
    QByteArray buffer_;
    bool broken_ = false;
};

} // namespace kestrio
