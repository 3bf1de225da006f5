#include "kestrio/app/CommandLine.h"

#include <algorithm>
#include <cctype>

namespace kestrio {

const char* const kUsage =
    "usage: kestrio [--page FILE.json | URL] [--select TEXT] [--save-to FOLDER]\n"
    "               [--all-links] [--pictures]\n"
    "       kestrio /REGSERVER | /UNREGSERVER\n";

namespace {

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return s;
}

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && Upper(s.substr(s.size() - tail.size())) == Upper(tail);
}

bool IsServerSwitch(const std::string& a, StartMode& mode) {
    if (a.size() < 2 || (a[0] != '/' && a[0] != '-') || a[1] == '-') return false;
    const std::string word = Upper(a.substr(1));
    if (word == "AUTOMATION" || word == "EMBEDDING")
        mode = StartMode::Automation;
    else if (word == "REGSERVER")
        mode = StartMode::RegServer;
    else if (word == "UNREGSERVER")
        mode = StartMode::UnregServer;
    else
        return false;
    return true;
}

bool IsBrowserStart(const std::vector<std::string>& args) {
    if (args.empty()) return false;
    if (args[0].rfind("chrome-extension://", 0) == 0) return true;
    // Firefox: <path of the manifest> <add-on id>.
    return args.size() == 2 && EndsWithNoCase(args[0], ".json") && !args[0].empty() &&
           args[0][0] == '/' && !args[1].empty() && args[1][0] != '-';
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    if (IsBrowserStart(args)) {
        cl.Mode = StartMode::Automation;
        return cl;
    }
    auto usage = [&](const std::string& why) {
        cl.Mode = StartMode::Usage;
        cl.Problem = why;
        return cl;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        StartMode sw;
        if (IsServerSwitch(a, sw)) {
            // The first switch decides, as the server support reads it.
            if (cl.Mode == StartMode::ByHand) cl.Mode = sw;
            continue;
        }
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        if (a == "--page") {
            if (!value(cl.PageFile)) return usage("--page needs a file");
        } else if (a == "--select") {
            if (!value(cl.Select)) return usage("--select needs a text");
        } else if (a == "--save-to") {
            if (!value(cl.SaveTo)) return usage("--save-to needs a folder");
        } else if (a == "--all-links") {
            cl.AllLinks = true;
        } else if (a == "--pictures") {
            cl.Pictures = true;
        } else if (!a.empty() && a[0] != '-' && a[0] != '/' && cl.URL.empty()) {
            cl.URL = a;
        } else {
            return usage("unknown argument: " + a);
        }
    }
    if (cl.Mode != StartMode::ByHand) return cl;
    if (!cl.PageFile.empty() && !cl.URL.empty()) return usage("give either --page or a URL");
    if (!cl.PageFile.empty() && !cl.Select.empty())
        return usage("--select goes with a URL; a snapshot carries its own selection");
    if (!cl.PageFile.empty() || !cl.URL.empty())
        cl.Mode = StartMode::Terminal;
    else if (!cl.SaveTo.empty() || !cl.Select.empty() || cl.AllLinks || cl.Pictures)
        return usage("--page FILE.json or a URL is needed");
    return cl;
}

} // namespace kestrio
