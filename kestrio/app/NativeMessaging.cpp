#include "kestrio/app/NativeMessaging.h"

#include <cstring>

namespace kestrio {

QByteArray FrameMessage(const QByteArray& json) {
    if (json.size() > qsizetype(kMaxMessageToBrowser)) return {};
    const uint32_t n = uint32_t(json.size());
    QByteArray out(reinterpret_cast<const char*>(&n), sizeof n);
    out += json;
    return out;
}

bool FrameReader::Take(QByteArray& message) {
    if (broken_ || buffer_.size() < qsizetype(sizeof(uint32_t))) return false;
    uint32_t n;
    std::memcpy(&n, buffer_.constData(), sizeof n);
    if (n > kMaxMessageFromBrowser) {
        broken_ = true;
        buffer_.clear();
        return false;
    }
    if (buffer_.size() < qsizetype(sizeof n + n)) return false;
    message = buffer_.mid(sizeof n, n);
    buffer_.remove(0, qsizetype(sizeof n + n));
    return true;
}

} // namespace kestrio
