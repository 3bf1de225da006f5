// Page capture throughput: the tokenizer over 50 MB of page markup made at
// run time, and the relinking of a page with 5,000 anchors against 2,000
// chosen pages.
#include "kestrio/capture/HTMLParser.h"
#include "kestrio/capture/ListerUnit.h"
#include "kestrio/capture/ToolsUnit.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <fstream>
#include <random>

using namespace kestrio;

namespace {

// Markup as pages have it: headings, paragraphs with inline links, pictures,
// tables, stylesheets, scripts and comments, in varying mixes.
std::string MakePage(size_t bytes) {
    static const char* const words[] = {"news",   "world",    "market", "weather", "the",
                                        "and",    "report",   "sports", "of",      "today",
                                        "update", "download", "free",   "page",    "more"};
    std::mt19937 rng(7);
    auto word = [&] { return std::string(words[rng() % std::size(words)]); };
    auto sentence = [&] {
        std::string s;
        for (int i = 3 + rng() % 12; i > 0; --i)
            s += word() + ' ';
        return s;
    };
    std::string html = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">\n<HTML><HEAD>"
                       "<TITLE>Daily</TITLE><LINK rel=\"stylesheet\" href=\"/css/main.css\">\n"
                       "<SCRIPT type=\"text/javascript\">var a = '<a href=x>'; "
                       "function f(){ return 1 < 2; }</SCRIPT></HEAD><BODY>\n";
    html.reserve(bytes + 4096);
    for (int n = 0; html.size() < bytes; ++n) {
        switch (rng() % 8) {
        case 0:
            html += "<H2 class=\"title\">" + sentence() + "</H2>\n";
            break;
        case 1:
        case 2:
            html += "<P>" + sentence() + "<A href=\"/" + word() + "/" + std::to_string(n) +
                    ".htm\" title=\"" + word() + "\">" + sentence() + "</A> " + sentence() +
                    "</P>\n";
            break;
        case 3:
            html += "<IMG src=\"/img/" + word() + std::to_string(n % 500) +
                    ".gif\" width=120 height=60 alt=\"" + word() + "\">\n";
            break;
        case 4:
            html += "<TABLE border=0 cellpadding=2><TR><TD class=cell>" + sentence() +
                    "</TD><TD><a href=" + word() + ".htm>" + word() + "</a></TD></TR></TABLE>\n";
            break;
        case 5:
            html += "<!-- " + sentence() + "-->\n<DIV id=\"d" + std::to_string(n) +
                    "\" style=\"margin:0\">" + sentence() + "<BR><B>" + word() + "</B></DIV>\n";
            break;
        case 6:
            html += "<UL><LI><A HREF='http://other.example/" + word() + "?id=" + std::to_string(n) +
                    "#top'>" + word() + "</A></LI><LI>" + sentence() + "</LI></UL>\n";
            break;
        default:
            html += "<SCRIPT>document.write('<img src=\"t.gif?' + " + std::to_string(n) +
                    " + '\">');</SCRIPT><SPAN>" + sentence() + "</SPAN>\n";
            break;
        }
    }
    html += "</BODY></HTML>\n";
    return html;
}

struct PageFile {
    QTemporaryDir dir;
    std::string path;
    std::string text;
    PageFile() {
        path = dir.path().toStdString() + "/page.htm";
        std::ofstream(path, std::ios::binary) << MakePage(50u << 20);
        // The tokenizer's own copy, read as the lister and relinker read it.
        THTMLParser p = THTMLParser::FromFile(path);
        while (p.Next())
            text.append(p.Text()).append(p.Value());
    }
};

PageFile& Page() {
    static PageFile page;
    return page;
}

void BM_TokenizeInPlace(benchmark::State& state) {
    const std::string& text = Page().text;
    size_t links = 0;
    for (auto _ : state) {
        THTMLParser p(text);
        while (p.Next())
            links += p.Kind() != tkRest;
        benchmark::DoNotOptimize(links);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["pieces"] = static_cast<double>(links / state.iterations());
}
BENCHMARK(BM_TokenizeInPlace)->Unit(benchmark::kMillisecond);

void BM_TokenizeFromFile(benchmark::State& state) {
    const std::string& path = Page().path;
    for (auto _ : state) {
        THTMLParser p = THTMLParser::FromFile(path);
        while (p.Next())
            benchmark::DoNotOptimize(p.Value().data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Page().text.size()));
}
BENCHMARK(BM_TokenizeFromFile)->Unit(benchmark::kMillisecond);

void BM_RelinkPage(benchmark::State& state) {
    QTemporaryDir dir;
    DestDir = dir.path().toStdString() + "/";
    Options = TOptions{};
    TLister lister(
        platform::LoadBrowserSnapshot(R"({"version": 1, "window": {"url": "http://h/d/p.htm"}})"));
    for (int i = 0; i < 2000; ++i)
        lister.AddLink("http://h/d/page" + std::to_string(i) + ".htm", "");
    for (size_t i = 1; i < lister.Pages.size(); ++i)
        lister.Pages[i].State = i % 10 == 0 ? lsSkipped : lsDownloaded;
    for (int i = 0; i < 200; ++i)
        lister.AddPicture("http://h/d/i" + std::to_string(i) + ".gif");
    for (TListerItem& p : lister.Pictures)
        p.State = lsDownloaded;

    std::string html = "<HTML><BODY>\n";
    std::mt19937 rng(3);
    for (int i = 0; i < 5000; ++i) {
        const int target = static_cast<int>(rng() % 2600); // some never chosen
        html += "<P>Item " + std::to_string(i) + ": <A href=\"page" + std::to_string(target) +
                ".htm" + (i % 3 == 0 ? "#s" : "") + "\">see page " + std::to_string(target) +
                "</A> <IMG src=i" + std::to_string(rng() % 300) + ".gif></P>\n";
    }
    html += "</BODY></HTML>\n";
    const std::string tmp = DestDir + "INDEX.HTM.tmp";
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(tmp, std::ios::binary) << html;
        lister.Phase = phPages;
        lister.PageCursor = 0;
        state.ResumeTiming();
        lister.RelinkPage();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * html.size()));
    state.counters["anchors"] = 5000;
    state.counters["pages"] = 2000;
}
BENCHMARK(BM_RelinkPage)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
