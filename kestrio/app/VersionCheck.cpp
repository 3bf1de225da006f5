#include "kestrio/app/VersionCheck.h"

#include <QLocale>
#include <QString>
#include <cmath>
#include <cstring>

namespace kestrio {

const char* const kHomePage = "http://www.kestrio.example/";
const char* const kMirrorHomePage = "http://ru.kestrio.example/";
const char* const kSupportAddress = "support@kestrio.example";

int SystemLanguage() {
    switch (QLocale::system().language()) {
    case QLocale::Russian:
        return 1049;
    case QLocale::English:
        return 1033;
    case QLocale::German:
        return 1031;
    case QLocale::French:
        return 1036;
    case QLocale::Spanish:
        return 1034;
    case QLocale::Portuguese:
        return 1046;
    default:
        return 0;
    }
}

std::string MakerServer(int language) {
    const QByteArray over = qgetenv("KESTRIO_SERVER");
    if (!over.isEmpty()) return over.toStdString();
    std::string home = HomePage(language);
    home.pop_back();
    return home;
}

std::string HomePage(int language) {
    return language == 1049 ? kMirrorHomePage : kHomePage;
}

std::optional<std::string> NewVersionMessage(const QByteArray& body) {
    if (body.isEmpty() || body.size() % 8 != 0) return std::nullopt;
    const auto* b = reinterpret_cast<const unsigned char*>(body.constData());
    const uint32_t bits =
        uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    float version;
    std::memcpy(&version, &bits, sizeof version);
    // A damaged file must not announce an infinite or not-a-number version.
    if (!std::isfinite(version) || !(version > kOwnVersion)) return std::nullopt;
    return "Kestrio " + QString::number(double(version), 'f', 1).toStdString() + " is available.";
}

VersionCheck::VersionCheck(QObject* parent) : QObject(parent) {
    http_.OnRequestComplete = [this] {
        if (http_.StatusCode() != 200) return;
        if (auto m = NewVersionMessage(http_.Body()); m && OnNewVersion) OnNewVersion(*m);
    };
}

void VersionCheck::Begin() {
    try {
        http_.SetURL(MakerServer(SystemLanguage()) + "/verinfo.dat");
        http_.Start();
    } catch (const std::exception&) {
        // A server address that cannot be used shows nothing, like a failure.
    }
}

} // namespace kestrio
