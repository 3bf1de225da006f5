#pragma once
// Asks the maker's web server whether a newer Kestrio exists: the file
// "/verinfo.dat", whose first 4 bytes are the newest version as a
// little-endian single-precision number. Users of the system language 1049
// ask the mirror server.
#include "platform/HttpClient.h"

#include <QByteArray>
#include <QObject>
#include <functional>
#include <optional>
#include <string>

namespace kestrio {

constexpr float kOwnVersion = 3.3f;
extern const char* const kHomePage;       // the maker's home page
extern const char* const kMirrorHomePage; // the same on the mirror
extern const char* const kSupportAddress; // the maker's support e-mail

// The language identifier of the user's locale (1049 for Russian, 1033 for
// English, ...; 0 when unknown).
int SystemLanguage();
// The maker's server or its mirror for the language, without a final "/".
// KESTRIO_SERVER, when set, replaces both (tests point it at a local server).
std::string MakerServer(int language);
std::string HomePage(int language);

// The message for a version file's body, or none: a body whose size is not a
// positive multiple of 8, or a version not above ours, shows nothing.
std::optional<std::string> NewVersionMessage(const QByteArray& body);

class VersionCheck : public QObject {
    Q_OBJECT
public:
    explicit VersionCheck(QObject* parent = nullptr);
    // Starts the request without waiting; failures show nothing.
    void Begin();
    void Cancel() { http_.Cancel(); }
    bool Running() const { return http_.Busy(); }

    std::function<void(const std::string& message)> OnNewVersion;

private:
    platform::HttpClient http_;
};

} // namespace kestrio
