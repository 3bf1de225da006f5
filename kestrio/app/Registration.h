#pragma once
// The automation server's registration: the class, its ProgID and the type
// library in the registry store (classes root), and the native-messaging host
// manifests through which Chromium and Firefox start the program for their
// extension (per user, under $HOME).
#include <string>

namespace kestrio {

// Native-messaging host name (lower case, as the browsers require).
extern const char* const kHostName;                // "kestrio.kesapp"
extern const char* const kChromiumExtensionOrigin; // "chrome-extension://<id>/"
extern const char* const kFirefoxExtensionId;

std::string ChromiumManifestPath(); // ~/.config/chromium/NativeMessagingHosts/<host>.json
std::string FirefoxManifestPath();  // ~/.mozilla/native-messaging-hosts/<host>.json

// Writes every entry for the executable at exePath (UTF-8); on failure
// returns false with the reason and leaves what was written.
bool RegisterServer(const std::string& exePath, std::string& error);
// Removes every entry; entries already missing are no failure.
bool UnregisterServer(std::string& error);

} // namespace kestrio
