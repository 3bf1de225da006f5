#include "kestrio/app/Registration.h"

#include "kestrio/app/KesApp.h"
#include "platform/Cp1252.h"
#include "platform/Registry.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace kestrio {

const char* const kHostName = "kestrio.kesapp";
const char* const kChromiumExtensionOrigin = "chrome-extension://hkmfoegjbnpalcdkiomgbjefpdlcniah/";
const char* const kFirefoxExtensionId = "kestrio@tamrisk.example";

namespace {

QString Home() {
    return QDir::homePath();
}

std::string ClassKey() {
    return std::string("\\CLSID\\") + kClassGUID;
}
std::string TypeLibKey() {
    return std::string("\\TypeLib\\") + kTypeLibGUID;
}
std::string InterfaceKey() {
    return std::string("\\Interface\\") + kInterfaceGUID;
}

bool SetDefault(platform::Registry& reg, const std::string& key, const std::string& value) {
    return reg.OpenKey(key, true) && reg.WriteString("", value);
}

bool WriteManifest(const std::string& path, const std::string& exePath, bool chromium,
                   std::string& error) {
    QJsonObject m;
    m["name"] = kHostName;
    m["description"] = "KesApp Object";
    m["path"] = QString::fromStdString(exePath);
    m["type"] = "stdio";
    if (chromium)
        m["allowed_origins"] = QJsonArray{kChromiumExtensionOrigin};
    else
        m["allowed_extensions"] = QJsonArray{kFirefoxExtensionId};
    const QString qpath = QString::fromStdString(path);
    QDir().mkpath(QFileInfo(qpath).absolutePath());
    QSaveFile f(qpath);
    if (!f.open(QIODevice::WriteOnly) || f.write(QJsonDocument(m).toJson()) < 0 || !f.commit()) {
        error = "Cannot write " + path + ": " + f.errorString().toStdString();
        return false;
    }
    return true;
}

bool RemoveFile(const std::string& path, std::string& error) {
    QFile f(QString::fromStdString(path));
    if (!f.exists() || f.remove()) return true;
    error = "Cannot remove " + path + ": " + f.errorString().toStdString();
    return false;
}

} // namespace

std::string ChromiumManifestPath() {
    return (Home() + "/.config/chromium/NativeMessagingHosts/" + kHostName + ".json").toStdString();
}

std::string FirefoxManifestPath() {
    return (Home() + "/.mozilla/native-messaging-hosts/" + kHostName + ".json").toStdString();
}

bool RegisterServer(const std::string& exePath, std::string& error) {
    platform::Registry reg(platform::RegistryHive::ClassesRoot);
    const std::string exe = platform::Utf8ToCp1252(exePath);
    const bool ok = SetDefault(reg, ClassKey(), "KesApp Object") &&
                    SetDefault(reg, ClassKey() + "\\LocalServer32", exe) &&
                    SetDefault(reg, ClassKey() + "\\ProgID", kProgID) &&
                    SetDefault(reg, ClassKey() + "\\Version", "1.0") &&
                    SetDefault(reg, ClassKey() + "\\TypeLib", kTypeLibGUID) &&
                    SetDefault(reg, std::string("\\") + kProgID, "KesApp Object") &&
                    SetDefault(reg, std::string("\\") + kProgID + "\\Clsid", kClassGUID) &&
                    SetDefault(reg, TypeLibKey() + "\\1.0", "Kestrio Library") &&
                    SetDefault(reg, TypeLibKey() + "\\1.0\\0\\linux", exe) &&
                    SetDefault(reg, InterfaceKey(), "IKesApp") &&
                    SetDefault(reg, InterfaceKey() + "\\TypeLib", kTypeLibGUID) &&
                    reg.OpenKey(InterfaceKey() + "\\TypeLib", false) &&
                    reg.WriteString("Version", "1.0");
    reg.CloseKey();
    if (!ok) {
        error = "Cannot write the registration to the registry store in " +
                platform::RegistryDir().toStdString();
        return false;
    }
    return WriteManifest(ChromiumManifestPath(), exePath, true, error) &&
           WriteManifest(FirefoxManifestPath(), exePath, false, error);
}

bool UnregisterServer(std::string& error) {
    platform::Registry reg(platform::RegistryHive::ClassesRoot);
    for (const std::string& key :
         {ClassKey(), std::string("\\") + kProgID, TypeLibKey(), InterfaceKey()}) {
        if (reg.KeyExists(key) && !reg.DeleteKey(key)) {
            error = "Cannot remove " + key + " from the registry store";
            return false;
        }
    }
    return RemoveFile(ChromiumManifestPath(), error) && RemoveFile(FirefoxManifestPath(), error);
}

} // namespace kestrio
