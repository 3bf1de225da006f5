#pragma once
// How Kestrio was started, read from its arguments.
//
// Server switches, after "/" or "-", any letter case: AUTOMATION and EMBEDDING
// (a browser hands a page over), REGSERVER, UNREGSERVER. A browser starting a
// native-messaging host cannot add a switch; its own arguments mean automation
// too: Chromium passes the caller's origin ("chrome-extension://<id>/"),
// Firefox the manifest's path and the add-on's id.
//
// Terminal use: kestrio [--page FILE.json | URL] [--select TEXT]
//                       [--save-to FOLDER] [--all-links] [--pictures]
#include <string>
#include <vector>

namespace kestrio {

enum class StartMode {
    ByHand,      // no switch: the about page only
    Automation,  // a browser script holds the object, messages on stdin
    RegServer,   // register and end
    UnregServer, // remove the registration and end
    Terminal,    // a snapshot file or an address given on the command line
    Usage,       // arguments not understood: print the usage and fail
};

struct CommandLine {
    StartMode Mode = StartMode::ByHand;
    std::string PageFile; // --page (UTF-8 path)
    std::string URL;      // address to fetch and snapshot
    std::string Select;   // --select, the selection's text (UTF-8)
    std::string SaveTo;   // --save-to: save without any window (UTF-8 path)
    bool AllLinks = false;
    bool Pictures = false;
    std::string Problem; // why Mode is Usage
};

// args excludes the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

extern const char* const kUsage;

} // namespace kestrio
