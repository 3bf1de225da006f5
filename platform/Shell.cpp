#include "platform/Shell.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

namespace platform {

namespace {

QStringList EnvDirs(const char* var, const QString& fallback) {
    QStringList out;
    for (const QString& d : qEnvironmentVariable(var, fallback).split(':', Qt::SkipEmptyParts))
        out << d;
    return out;
}

QString ConfigHome() {
    return qEnvironmentVariable("XDG_CONFIG_HOME", QDir::homePath() + "/.config");
}
QString DataHome() {
    return qEnvironmentVariable("XDG_DATA_HOME", QDir::homePath() + "/.local/share");
}
QStringList ApplicationDirs() {
    QStringList dirs{DataHome() + "/applications"};
    for (const QString& d : EnvDirs("XDG_DATA_DIRS", "/usr/local/share:/usr/share"))
        dirs << d + "/applications";
    return dirs;
}

// Values of `key` in `section` of an INI-like desktop file.
QString IniValue(const QString& path, const QString& section, const QString& key) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    QTextStream in(&f);
    bool inSection = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith('[')) {
            inSection = line == '[' + section + ']';
            continue;
        }
        if (!inSection) continue;
        const int eq = line.indexOf('=');
        if (eq > 0 && line.left(eq).trimmed() == key) return line.mid(eq + 1).trimmed();
    }
    return {};
}

QString LocateDesktopFile(const QString& id) {
    for (const QString& dir : ApplicationDirs()) {
        const QString path = dir + "/" + id;
        if (QFileInfo::exists(path)) return path;
    }
    return {};
}

// The desktop file chosen for `mime`: the defaults of the mimeapps.list files
// in their order of precedence, else any application that declares the type.
QString DesktopFileFor(const QString& mime) {
    QStringList lists{ConfigHome() + "/mimeapps.list"};
    for (const QString& d : EnvDirs("XDG_CONFIG_DIRS", "/etc/xdg"))
        lists << d + "/mimeapps.list";
    for (const QString& d : ApplicationDirs())
        lists << d + "/mimeapps.list" << d + "/defaults.list";
    for (const QString& list : lists) {
        const QString ids = IniValue(list, "Default Applications", mime);
        for (const QString& id : ids.split(';', Qt::SkipEmptyParts)) {
            const QString path = LocateDesktopFile(id.trimmed());
            if (!path.isEmpty()) return path;
        }
    }
    for (const QString& dir : ApplicationDirs()) {
        const QStringList files = QDir(dir).entryList({"*.desktop"}, QDir::Files, QDir::Name);
        for (const QString& file : files) {
            const QString path = dir + "/" + file;
            const QStringList types =
                IniValue(path, "Desktop Entry", "MimeType").split(';', Qt::SkipEmptyParts);
            if (types.contains(mime)) return path;
        }
    }
    return {};
}

// The words of an Exec line: quotes honoured, field codes ("%u", "%F", ...)
// dropped, "%%" kept as "%".
std::vector<std::string> ExecWords(const QString& exec) {
    std::vector<std::string> words;
    QString word;
    bool quoted = false, any = false;
    for (int i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (c == '\\' && quoted && i + 1 < exec.size()) {
            word += exec[++i];
        } else if (c.isSpace() && !quoted) {
            if (any || !word.isEmpty()) words.push_back(word.toStdString());
            word.clear();
            any = false;
        } else if (c == '%' && i + 1 < exec.size()) {
            if (exec[++i] == '%') word += '%';
        } else {
            word += c;
        }
    }
    if (any || !word.isEmpty()) words.push_back(word.toStdString());
    return words;
}

} // namespace

std::vector<std::string> FindExecutable(const std::string& path) {
    const QString file = QString::fromStdString(path);
    QMimeDatabase db;
    const QMimeType type =
        QFileInfo(file).isDir() ? db.mimeTypeForName("inode/directory") : db.mimeTypeForFile(file);
    if (!type.isValid()) return {};
    QStringList candidates{type.name()};
    candidates << type.parentMimeTypes();
    for (const QString& mime : candidates) {
        const QString desktop = DesktopFileFor(mime);
        if (desktop.isEmpty()) continue;
        std::vector<std::string> words = ExecWords(IniValue(desktop, "Desktop Entry", "Exec"));
        if (!words.empty()) return words;
    }
    return {};
}

bool StartProgram(std::vector<std::string> command, const std::vector<std::string>& args,
                  const std::string& workingDir) {
    if (command.empty()) return false;
    QString program = QString::fromStdString(command.front());
    if (!program.contains('/')) program = QStandardPaths::findExecutable(program);
    if (program.isEmpty()) return false;
    QStringList list;
    for (std::size_t i = 1; i < command.size(); ++i)
        list << QString::fromStdString(command[i]);
    for (const std::string& a : args)
        list << QString::fromStdString(a);
    return QProcess::startDetached(program, list, QString::fromStdString(workingDir));
}

bool ShellOpen(const std::string& file, const std::string& workingDir) {
    return StartProgram(FindExecutable(file), {file}, workingDir);
}

bool ShellExplore(const std::string& folder) {
    if (!QFileInfo(QString::fromStdString(folder)).isDir()) return false;
    return StartProgram(FindExecutable(folder), {folder}, folder);
}

} // namespace platform
