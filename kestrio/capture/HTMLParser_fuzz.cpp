// Feeds arbitrary bytes to the tokenizer and checks that the pieces rebuild
// the text exactly, that the walk ends, and that the URL helpers take every
// value. Build and run (clang with libFuzzer):
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DVK_FUZZ=ON -DVK_BENCH=OFF
//   cmake --build build-fuzz --target HTMLParser_fuzz
//   build-fuzz/bin/HTMLParser_fuzz -max_total_time=60 -max_len=4096
#include "HTMLParser.h"
#include "ToolsUnit.h"

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view src(reinterpret_cast<const char*>(data), size);
    kestrio::THTMLParser parser(src);
    std::string rebuilt;
    size_t pieces = 0;
    bool sawRest = false;
    while (parser.Next()) {
        if (sawRest || ++pieces > size + 1) {
            std::fprintf(stderr, "piece after the final one, or more pieces than bytes\n");
            std::abort();
        }
        sawRest = parser.Kind() == kestrio::tkRest;
        if (parser.Kind() > kestrio::tkFrame || (sawRest && !parser.Value().empty())) std::abort();
        rebuilt.append(parser.Text()).append(parser.Value());
        const std::string clean = kestrio::CleanValue(parser.Value());
        (void)kestrio::ResolveURL("http://h/d/p.htm", clean);
        (void)kestrio::ResolveURL(clean, "../x");
        (void)kestrio::GetExtension(clean);
    }
    if (!sawRest || rebuilt != src || parser.Next()) {
        std::fprintf(stderr, "pieces do not rebuild the source\n");
        std::abort();
    }
    return 0;
}
