#pragma once
// Test support for the windows: the program's application object made before
// any test runs (offscreen), a program folder of the test's own with a
// settings file, the modules started, and a way to answer modal dialogs.
#include "desktop/FormProgram.h"
#include "desktop/UnitStart.h"
#include "platform/testing/TempDir.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

namespace desktop_testing {

class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (QCoreApplication::instance()) return;
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "velomar-test";
        static char* argv[] = {name, nullptr};
        CreateApplication(argc, argv)->setQuitOnLastWindowClosed(false);
    }
};

// Settings of an installed program with English texts; `extra` are lines of
// section Main.
inline std::string InstalledSettings(const platform::testing::TempDir& dir,
                                     const std::string& extra) {
    return "[Main]\r\nInstalled=1\r\nInstalled.24=1\r\nInstalled.25=1\r\nInstalled.26=1\r\n"
           "Installed.27=1\r\nInstalled.28=1\r\nMaxDownloadingJobs=5\r\nSockets=3\r\n"
           "DownloadDirectory=" +
           dir.File("Download/") +
           "\r\nPulseInterval=100\r\nAcceptedTerms=1\r\nWebControl.Installed=1\r\n"
           "Logging=1\r\nShowAddURL=0\r\nClipboardMonitoring=0\r\n" +
           extra + "[Languages]\r\nCurrent=-2\r\n";
}

// The environment of a program placed in `dir`.
inline void UseProgramFolder(const platform::testing::TempDir& dir) {
    setenv("VELOMAR_PROGRAM_PATH", dir.File("velomar").c_str(), 1);
    setenv("REGISTRY_DIR", dir.File("registry").c_str(), 1);
    ::mkdir(dir.File("run").c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", dir.File("run").c_str(), 1);
}

// Runs `answer` on the next modal dialog that opens (within `ms`), from the
// event loop; `seen` tells whether one opened.
inline void AnswerNextDialog(std::function<void(QDialog*)> answer, bool* seen = nullptr,
                             int ms = 5000) {
    auto* poll = new QTimer;
    auto left = std::make_shared<int>(ms / 20);
    QObject::connect(poll, &QTimer::timeout, [poll, answer, seen, left] {
        if (auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            if (seen) *seen = true;
            poll->stop();
            poll->deleteLater();
            answer(dlg);
        } else if (--*left <= 0) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start(20);
}

} // namespace desktop_testing
