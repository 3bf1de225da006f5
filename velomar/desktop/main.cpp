// Velomar's entry point: chooses the mode; the program lives in the libraries.
#include "desktop/FormProgram.h"
#include "desktop/UnitHeadless.h"
#include "platform/Cp1252.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool HasDisplay() {
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    if (qpa && *qpa) return true; // a platform chosen on purpose (offscreen too)
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* v = std::getenv(var); v && *v) return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    bool headless = false;
    std::vector<std::string> urls;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0) {
            headless = true;
        } else {
            urls.push_back(platform::Utf8ToCp1252(argv[i]));
            args.push_back(urls.back());
        }
    }
    if (!headless) {
        if (!HasDisplay()) {
            std::fprintf(stderr, "velomar: no display; use velomar --headless [URL...]\n");
            return 2;
        }
        return RunDesktop(argc, argv, args);
    }
    QCoreApplication app(argc, argv);
    return RunHeadless(urls);
}
