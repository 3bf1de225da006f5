#pragma once
// The browser's side of the automation object, over native messaging on
// standard input and output (framing in NativeMessaging.h). One process
// serves one page. The browser's extension holds the object while the
// connection is open; standard input closing is its release.
//
// Messages from the browser:
//   {"call": "Start", "id": <any JSON value>, "snapshot": <page snapshot>}
//       IKesApp.Start with the window described by the snapshot
//       (platform/BrowserSnapshot.md). "id" is echoed in the answer.
//
// Messages to the browser (each under 1 MB):
//   {"answer": "Start", "id": <id>, "ok": true}
//       the dialog has been filled.
//   {"answer": "Start", "id": <id>, "ok": false,
//    "error": {"code": -2147352567, "message": "<text>"}}
//       the call failed; the code is the automation exception code, the
//       message says what failed. Also sent for a message that is not JSON
//       ("answer": null) or names an unknown call ("answer": <its name>, or
//       null when that is not a string of at most 256 characters). An "id"
//       whose JSON text is above 64 KB is not echoed and fails the call.
//   {"navigate": "<address>"}
//       the page set document.location.href: the browser is to fetch the
//       address with its own download handling.
#include "kestrio/app/KesApp.h"
#include "kestrio/app/NativeMessaging.h"

#include <QJsonObject>
#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace kestrio {

constexpr int kAutomationErrorCode = -2147352567; // exception occurred

class AutomationHost : public QObject {
    Q_OBJECT
public:
    // Reads messages from inFd and writes to outFd (both stay open).
    AutomationHost(TKesApp& app, int inFd, int outFd, QObject* parent = nullptr);

    // For tests and the loop: handle one message as if it had arrived.
    void HandleMessage(const QByteArray& json);
    bool Released() const { return released_; }

private:
    void ReadInput();
    void Send(const QJsonObject& message);
    void InputClosed();

    TKesApp& app_;
    int outFd_;
    int inFd_;
    FrameReader reader_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool released_ = false;
};

} // namespace kestrio
