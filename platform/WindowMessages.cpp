#include "platform/WindowMessages.h"

#include "platform/InstanceLock.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr qint64 kRequestBytes = 16;
constexpr qint64 kAnswerBytes = 8;

QByteArray Pack(std::int64_t a, std::int64_t b) {
    QByteArray out(kRequestBytes, '\0');
    std::memcpy(out.data(), &a, 8);
    std::memcpy(out.data() + 8, &b, 8);
    return out;
}

std::int64_t Unpack(const char* p) {
    std::int64_t v = 0;
    std::memcpy(&v, p, 8);
    return v;
}

bool ProcessAlive(long pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

} // namespace

RegisteredMessage::RegisteredMessage(std::string name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {}

RegisteredMessage::~RegisteredMessage() {
    if (server_) server_->close(); // removes the endpoint
}

std::string RegisteredMessage::Prefix() const {
    return RuntimeDir() + "/messages/" + SafeFileName(name_) + ".";
}

bool RegisteredMessage::Listening() const {
    return server_ && server_->isListening();
}

bool RegisteredMessage::Listen(Handler handler) {
    handler_ = std::move(handler);
    if (Listening()) return true;
    const std::string dir = RuntimeDir() + "/messages";
    ::mkdir(dir.c_str(), 0700);
    const QString path = QString::fromStdString(Prefix() + std::to_string(::getpid()));
    QLocalServer::removeServer(path); // a leftover of an earlier process with our id
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path)) {
        delete server_;
        server_ = nullptr;
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = server_->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QLocalSocket::readyRead, this, [this, s] {
                if (s->bytesAvailable() < kRequestBytes) return;
                const QByteArray req = s->read(kRequestBytes);
                const std::int64_t answer =
                    handler_ ? handler_(Unpack(req.constData()), Unpack(req.constData() + 8)) : 0;
                std::int64_t a = answer;
                s->write(reinterpret_cast<const char*>(&a), kAnswerBytes);
                s->flush();
            });
        }
    });
    return true;
}

std::vector<std::int64_t> RegisteredMessage::Broadcast(std::int64_t wParam, std::int64_t lParam,
                                                       int timeoutMs) const {
    std::vector<std::int64_t> answers;
    const std::string prefix = Prefix();
    const auto slash = prefix.rfind('/');
    const QDir dir(QString::fromStdString(prefix.substr(0, slash)));
    const QString base = QString::fromStdString(prefix.substr(slash + 1));
    const QString self = QString::number(::getpid());
    for (const QString& entry : dir.entryList({base + "*"}, QDir::System | QDir::Files)) {
        const QString id = entry.mid(base.size());
        if (id == self) continue;
        bool numeric = false;
        const long pid = id.toLong(&numeric);
        const QString path = dir.filePath(entry);
        QLocalSocket s;
        s.connectToServer(path);
        if (!s.waitForConnected(timeoutMs)) {
            if (numeric && !ProcessAlive(pid)) QFile::remove(path);
            continue;
        }
        s.write(Pack(wParam, lParam));
        if (!s.waitForBytesWritten(timeoutMs)) continue;
        while (s.bytesAvailable() < kAnswerBytes && s.waitForReadyRead(timeoutMs)) {
        }
        if (s.bytesAvailable() >= kAnswerBytes)
            answers.push_back(Unpack(s.read(kAnswerBytes).constData()));
        s.disconnectFromServer();
    }
    return answers;
}

} // namespace platform
