#include "kestrio/app/TerminalSave.h"

#include "kestrio/app/DownloadWalk.h"
#include "kestrio/app/PageFetcher.h"
#include "kestrio/app/StartDialog.h"
#include "kestrio/capture/ListerUnit.h"
#include "kestrio/capture/ToolsUnit.h"
#include "platform/Cp1252.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>

namespace kestrio {

using platform::Cp1252ToUtf8;

platform::DomValue TerminalPage(const CommandLine& cl) {
    if (!cl.PageFile.empty())
        return platform::LoadBrowserSnapshotFile(QString::fromStdString(cl.PageFile));
    const QJsonObject snapshot = PageFetcher::FetchNow(cl.URL, QString::fromStdString(cl.Select));
    return platform::LoadBrowserSnapshot(QJsonDocument(snapshot).toJson(QJsonDocument::Compact));
}

int SaveFromTerminal(const platform::DomValue& window, const CommandLine& cl, std::ostream& out,
                     std::ostream& err) {
    TStartDialog d;
    d.CheckVersion = false;
    d.OnHandedOver = [&](const std::string& url) {
        out << "for the browser's download handling: " << Cp1252ToUtf8(url) << "\n";
    };
    try {
        d.FormShow();
        d.LoadPage(window);
        if (cl.AllLinks) d.btnAllClick();
        if (cl.Pictures) d.chbImg = true;
        d.edFolder = platform::Utf8ToCp1252(cl.SaveTo);
        d.chbGenDef = false; // the terminal never changes the stored options

        bool missingFolder = false, aborted = false, relinked = false, relinkFailed = false;
        TStartDialog::StartHooks hooks;
        hooks.FocusFolderAndBeep = [&] { missingFolder = true; };
        hooks.RunDownload = [&] {
            TDownloadWalk walk;
            walk.SkipFailed = true;
            QEventLoop loop;
            bool closed = false;
            std::string lastStatus, lastURL;
            walk.OnChanged = [&] {
                if (walk.URLHint.empty()) return;
                if (walk.StatusText == lastStatus && walk.URLHint == lastURL) return;
                lastStatus = walk.StatusText;
                lastURL = walk.URLHint;
                out << Cp1252ToUtf8(walk.StatusText) << "  " << Cp1252ToUtf8(walk.URLHint) << "\n";
            };
            walk.OnError = [&](const std::string& m) {
                err << "kestrio: " << Cp1252ToUtf8(m) << "\n";
            };
            walk.OnRequestFailed = [&](const std::string& url, const std::string& why) {
                err << "kestrio: " << Cp1252ToUtf8(url) << ": " << why << " (skipped)\n";
            };
            walk.OnClose = [&] {
                closed = true;
                loop.quit();
            };
            walk.FormShow();
            if (!closed) loop.exec();
            aborted = walk.Aborted();
            relinked = walk.Relinked();
            relinkFailed = walk.RelinkFailed();
        };
        d.btnSaveClick(hooks);
        if (missingFolder) {
            err << "kestrio: the destination folder does not exist: " << cl.SaveTo << "\n";
            return 1;
        }
        const QString index = platform::Cp1252ToQString(DestDir + "INDEX.HTM");
        if (aborted || !relinked || relinkFailed || !QFileInfo(index).isFile()) {
            err << "kestrio: the page was not saved completely in " << Cp1252ToUtf8(DestDir)
                << "\n";
            return 1;
        }
        out << "saved: " << index.toStdString() << "\n";
        return 0;
    } catch (const std::exception& e) {
        err << "kestrio: " << Cp1252ToUtf8(e.what()) << "\n";
        return 1;
    }
}

} // namespace kestrio
