#include "desktop/FormProgram.h"

#include "desktop/FormMain.h"
#include "desktop/UnitRoutines.h"
#include "desktop/UnitStart.h"
#include "jobs/UnitJobManagement.h"
#include "platform/Cp1252.h"
#include "platform/InstanceLock.h"
#include "platform/StopSignals.h"
#include "platform/WindowMessages.h"
#include "storage/UnitLogFiles.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <exception>

namespace {

std::function<void(const std::string&)> gExceptionHandler;

class TVelomarApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (!gExceptionHandler) return QApplication::notify(receiver, event);
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            gExceptionHandler(e.what());
        } catch (...) {
            gExceptionHandler("unknown exception");
        }
        return false;
    }
};

// The instance check: true when another instance runs. A marker that cannot
// be made lets this start behave as the only one.
bool OtherInstanceRunning() {
    return platform::CreateInstanceMarker("MyMap") == platform::MarkerResult::AlreadyExists;
}

void NotifyOtherInstance(const platform::RegisteredMessage& message) {
    message.Broadcast(kNotifyParam, kNotifyParam);
}

} // namespace

void SetApplicationExceptionHandler(std::function<void(const std::string&)> handler) {
    gExceptionHandler = std::move(handler);
}

QApplication* CreateApplication(int& argc, char** argv) {
    return new TVelomarApplication(argc, argv);
}

int RunDesktop(int& argc, char** argv, const std::vector<std::string>& args) {
    TVelomarApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false); // only closing the main window ends the program
    platform::RegisteredMessage instanceMessage(kInstanceNotificationMessage);
    platform::RegisteredMessage urlMessage(kRegistryURLMessage);
    const std::vector<std::string> urls = ProcessCommandLine(args);

    // The instance check comes before any module starts, so a second start
    // never opens the settings file, never loads or starts a job and never
    // deletes the running instance's log: it only hands over and ends.
    if (OtherInstanceRunning()) {
        for (const std::string& url : urls)
            if (!HandOverURL(url, "", "", urlMessage, 60000))
                std::fprintf(stderr, "velomar: the running instance did not take %s\n",
                             platform::Cp1252ToUtf8(url).c_str());
        NotifyOtherInstance(instanceMessage);
        return 0;
    }
    if (!LockSettingsInstance()) {
        std::fprintf(stderr, "velomar: another instance is using %s\n", SettingsFileName().c_str());
        return 3;
    }

    StartModules();
    CountStartMode();
    int status = 0;
    {
        TFrmMain frm;
        instanceMessage.Listen([&frm](std::int64_t, std::int64_t) {
            frm.InstanceNotification();
            return std::int64_t{0};
        });
        urlMessage.Listen([&frm](std::int64_t, std::int64_t) { return frm.RegistryURLChecking(); });
        platform::InstallStopSignals([&frm](int) { frm.close(); });
        if (frm.FormCreate()) {
            for (const std::string& url : urls) // from outside, once the loop runs
                QTimer::singleShot(0, &frm, [&frm, url] { frm.AddURL(url, "", true, ""); });
            status = QApplication::exec();
        }
    }
    SetApplicationExceptionHandler(nullptr);
    StopModules();
    return status;
}
