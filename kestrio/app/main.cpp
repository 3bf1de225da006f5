// Kestrio's entry point: the automation server a browser starts for one page,
// the registration switches, and saving from the terminal.
#include "kestrio/app/AutomationHost.h"
#include "kestrio/app/CommandLine.h"
#include "kestrio/app/KesApp.h"
#include "kestrio/app/Registration.h"
#include "kestrio/app/StartFrm.h"
#include "kestrio/app/TerminalSave.h"
#include "platform/Cp1252.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <iostream>
#include <memory>

using namespace kestrio;

namespace {

std::string ExecutablePath(const char* argv0) {
    const QString p = QCoreApplication::applicationFilePath();
    return p.isEmpty() ? std::string(argv0) : p.toStdString();
}

// The save dialog with the object that a browser (or the terminal, standing
// in for one) hands the page to.
int RunWindows(int argc, char** argv, const CommandLine& cl) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kestrio");
    if (cl.Mode != StartMode::Terminal) {
        std::string ignored; // refreshed at every start; failures are silent
        RegisterServer(ExecutablePath(argv[0]), ignored);
    }
    TStartForm form;
    TKesApp kes(&form);
    std::unique_ptr<AutomationHost> host;
    const bool byHand = cl.Mode == StartMode::ByHand;
    QApplication::setQuitOnLastWindowClosed(byHand);
    kes.OnLastRelease = [] { QCoreApplication::quit(); };
    form.show();
    if (cl.Mode == StartMode::Automation) {
        host = std::make_unique<AutomationHost>(kes, 0, 1);
    } else if (cl.Mode == StartMode::Terminal) {
        try {
            kes.Start(TerminalPage(cl));
        } catch (const std::exception& e) {
            QMessageBox::critical(&form, "Kestrio", platform::Cp1252ToQString(e.what()));
        }
        kes.Release(); // as a script that lets go once Start returned
        if (kes.References() == 0) return 1;
    }
    return app.exec();
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const CommandLine cl = ParseCommandLine(args);
    switch (cl.Mode) {
    case StartMode::Usage:
        std::cerr << "kestrio: " << cl.Problem << "\n" << kUsage;
        return 2;
    case StartMode::RegServer:
    case StartMode::UnregServer: {
        QCoreApplication app(argc, argv);
        std::string error;
        const bool ok = cl.Mode == StartMode::RegServer
                            ? RegisterServer(ExecutablePath(argv[0]), error)
                            : UnregisterServer(error);
        if (!ok) std::cerr << "kestrio: " << error << "\n";
        return ok ? 0 : 1;
    }
    case StartMode::Terminal:
        if (!cl.SaveTo.empty()) {
            QCoreApplication app(argc, argv);
            try {
                const platform::DomValue page = TerminalPage(cl);
                return SaveFromTerminal(page, cl, std::cout, std::cerr);
            } catch (const std::exception& e) {
                std::cerr << "kestrio: " << platform::Cp1252ToUtf8(e.what()) << "\n";
                return 1;
            }
        }
        return RunWindows(argc, argv, cl);
    default:
        return RunWindows(argc, argv, cl);
    }
}
