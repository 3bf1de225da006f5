#include "kestrio/app/AutomationHost.h"

#include "platform/Cp1252.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <cerrno>
#include <unistd.h>

namespace kestrio {

AutomationHost::AutomationHost(TKesApp& app, int inFd, int outFd, QObject* parent)
    : QObject(parent), app_(app), outFd_(outFd), inFd_(inFd) {
    notifier_ = std::make_unique<QSocketNotifier>(inFd, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { ReadInput(); });
    app_.OnNavigate = [this](const std::string& url) {
        QJsonObject m;
        m["navigate"] = platform::Cp1252ToQString(url);
        Send(m);
    };
}

void AutomationHost::ReadInput() {
    char buf[65536];
    const ssize_t n = ::read(inFd_, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
        InputClosed();
        return;
    }
    reader_.Feed(buf, n);
    QByteArray message;
    while (reader_.Take(message))
        HandleMessage(message);
    if (reader_.Broken()) InputClosed(); // the stream cannot be resynchronised
}

void AutomationHost::InputClosed() {
    notifier_->setEnabled(false);
    if (released_) return;
    released_ = true;
    app_.Release();
}

void AutomationHost::HandleMessage(const QByteArray& json) {
    QJsonParseError perr;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &perr);
    QJsonObject answer;
    answer["answer"] = QJsonValue::Null;
    auto fail = [&](const QString& text) {
        answer["ok"] = false;
        QJsonObject err;
        err["code"] = kAutomationErrorCode;
        // Keep the answer under the browser's limit whatever the text.
        err["message"] = text.left(64 * 1024);
        answer["error"] = err;
        Send(answer);
    };
    if (!doc.isObject()) return fail("The message is not a JSON object.");
    const QJsonObject msg = doc.object();
    // Echoed values must not push the answer over the browser's limit, or the
    // caller would wait for an answer that never comes.
    const QJsonValue call = msg.value("call");
    if (call.isString() && call.toString().size() <= 256) answer["answer"] = call;
    if (msg.contains("id")) {
        const QJsonValue id = msg.value("id");
        const QByteArray idText = QJsonDocument(QJsonArray{id}).toJson(QJsonDocument::Compact);
        if (idText.size() > 64 * 1024) return fail("The call's id is too long to be answered.");
        answer["id"] = id;
    }
    if (msg.value("call").toString() != "Start")
        return fail("Unknown call: " + msg.value("call").toString());
    try {
        const QByteArray snapshot =
            QJsonDocument(msg.value("snapshot").toObject()).toJson(QJsonDocument::Compact);
        app_.Start(platform::LoadBrowserSnapshot(snapshot));
    } catch (const std::exception& e) {
        return fail(platform::Cp1252ToQString(e.what()));
    }
    answer["ok"] = true;
    Send(answer);
}

void AutomationHost::Send(const QJsonObject& message) {
    const QByteArray frame = FrameMessage(QJsonDocument(message).toJson(QJsonDocument::Compact));
    if (frame.isEmpty()) return; // too long for the browser; nothing sensible to cut
    qsizetype done = 0;
    while (done < frame.size()) {
        const ssize_t n = ::write(outFd_, frame.constData() + done, size_t(frame.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // the browser went away
        done += n;
    }
}

} // namespace kestrio
