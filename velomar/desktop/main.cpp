// Velomar's entry point: chooses the mode; the program lives in the libraries.
#include "desktop/UnitHeadless.h"
#include "platform/Cp1252.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    bool headless = false;
    std::vector<std::string> urls;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0)
            headless = true;
        else
            urls.push_back(platform::Utf8ToCp1252(argv[i]));
    }
    if (!headless) {
        std::fprintf(stderr, "usage: velomar --headless [URL...]\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    return RunHeadless(urls);
}
