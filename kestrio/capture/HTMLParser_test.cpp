#include "HTMLParser.h"
#include "InOutError.h"

#include <cerrno>
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using namespace kestrio;

namespace {

struct Piece {
    int kind;
    std::string text, value;
    bool operator==(const Piece&) const = default;
};

void PrintTo(const Piece& p, std::ostream* os) {
    *os << "{" << p.kind << ", \"" << p.text << "\", \"" << p.value << "\"}";
}

// Cuts a text and checks what must hold for any input: the pieces rebuild the
// source, only the last one is of kind 0 with an empty value, and the
// tokenizer then stays finished.
std::vector<Piece> Cut(std::string_view src) {
    THTMLParser p(src);
    std::vector<Piece> pieces;
    std::string rebuilt;
    while (p.Next()) {
        pieces.push_back({p.Kind(), std::string(p.Text()), std::string(p.Value())});
        rebuilt.append(p.Text()).append(p.Value());
        if (pieces.size() > src.size() + 1) {
            ADD_FAILURE() << "more pieces than bytes";
            break;
        }
    }
    EXPECT_EQ(rebuilt, src);
    EXPECT_FALSE(pieces.empty());
    for (size_t i = 0; i < pieces.size(); ++i) {
        const bool last = i + 1 == pieces.size();
        EXPECT_EQ(pieces[i].kind == tkRest, last) << "piece " << i;
        EXPECT_LE(pieces[i].kind, tkFrame);
    }
    if (!pieces.empty()) {
        EXPECT_TRUE(pieces.back().value.empty());
    }
    EXPECT_FALSE(p.Next());
    return pieces;
}

// The cutting rules transcribed step by step, with no shortcuts, to check the
// tokenizer's remembered searches against.
std::vector<Piece> ReferenceCut(const std::string& s) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
    auto at = [&](size_t pos, std::string_view pre) {
        if (pos + pre.size() > s.size()) return false;
        for (size_t i = 0; i < pre.size(); ++i)
            if (lower(s[pos + i]) != pre[i]) return false;
        return true;
    };
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    std::vector<Piece> out;
    size_t cursor = 0, textStart = 0;
    bool script = false;
    for (;;) {
        size_t lt = s.find('<', cursor);
        if (lt == std::string::npos) {
            out.push_back({0, s.substr(textStart), ""});
            return out;
        }
        struct Tag {
            const char* prefix;
            int kind;
            const char* attr;
        };
        static const Tag tags[] = {{"<script", -1, nullptr}, {"</script", -2, nullptr},
                                   {"<a ", 1, "href"},       {"<link", 3, "href"},
                                   {"<img ", 2, "src"},      {"<frame ", 4, "src"}};
        const Tag* hit = nullptr;
        for (const Tag& t : tags)
            if (at(lt, t.prefix)) {
                hit = &t;
                break;
            }
        if (!hit) {
            cursor = lt + 1;
            continue;
        }
        cursor = lt + std::strlen(hit->prefix);
        if (hit->kind < 0) {
            script = hit->kind == -1;
            continue;
        }
        if (script) continue;
        size_t name = std::string::npos;
        for (size_t i = lt; i < s.size(); ++i)
            if (at(i, hit->attr)) {
                name = i;
                break;
            }
        if (name == std::string::npos) continue;
        size_t eq = s.find('=', name);
        if (eq == std::string::npos) continue;
        cursor = eq;
        size_t gt = s.find('>', eq);
        if (gt == std::string::npos) continue;
        size_t b = eq + 1;
        while (b < gt && blank(s[b]))
            ++b;
        if (b < textStart) continue;
        size_t e = b;
        if (b < gt && (s[b] == '"' || s[b] == '\'')) {
            size_t q = s.find(s[b], b + 1);
            if (q != std::string::npos && q <= gt) e = q + 1;
        } else if (b < gt) {
            while (e < gt && !blank(s[e]))
                ++e;
            if (e < gt) ++e;
        }
        out.push_back({hit->kind, s.substr(textStart, b - textStart), s.substr(b, e - b)});
        textStart = e;
    }
}

TEST(HTMLParser, ValueExtraction) {
    // What follows the attribute name, the value handed out, and the text the
    // next piece begins with.
    struct Case {
        const char* afterName;
        const char* value;
        const char* nextText;
    } cases[] = {
        {"='x.htm'>", "'x.htm'", ">"},
        {"=\"x.htm\">", "\"x.htm\"", ">"},
        {"= 'x.htm' title=y>", "'x.htm'", " title=y>"},
        {"=x.htm>", "x.htm", ">"},
        {"=x.htm title=y>", "x.htm ", "title=y>"},
        {"=\n\t x.htm\nid=1>", "x.htm\n", "id=1>"},
        // The first ">" after the "=" bounds the value: this quote is not closed.
        {"='a b>c'd'>", "", "'a b>c'd'>"},
    };
    for (const Case& c : cases) {
        std::string src = std::string("<a href") + c.afterName;
        auto pieces = Cut(src);
        ASSERT_EQ(pieces.size(), 2u) << src;
        EXPECT_EQ(pieces[0].kind, tkAnchor) << src;
        EXPECT_EQ(pieces[0].value, c.value) << src;
        EXPECT_EQ(pieces[1].text, c.nextText) << src;
    }
}

TEST(HTMLParser, Pieces) {
    using V = std::vector<Piece>;
    struct Case {
        std::string src;
        V pieces;
    } cases[] = {
        {"", V{{0, "", ""}}},
        {"plain <b>text</b> <p>", V{{0, "plain <b>text</b> <p>", ""}}},
        {"<A HREF=\"u\">", V{{1, "<A HREF=", "\"u\""}, {0, ">", ""}}},
        {"<a\thref=u>", V{{0, "<a\thref=u>", ""}}},
        {"<img src=pic.gif width=10>", V{{2, "<img src=", "pic.gif "}, {0, "width=10>", ""}}},
        {"<frameset src=a><iframe src=b>", V{{0, "<frameset src=a><iframe src=b>", ""}}},
        {"<FRAME SRC=f.htm>", V{{4, "<FRAME SRC=", "f.htm"}, {0, ">", ""}}},
        {"<link rel=icon href=i.ico>", V{{3, "<link rel=icon href=", "i.ico"}, {0, ">", ""}}},
        {"<linkfoo href=s.css>", V{{3, "<linkfoo href=", "s.css"}, {0, ">", ""}}},
        {"<script>w('<a href=x>')</SCRIPT><a href=y>",
         V{{1, "<script>w('<a href=x>')</SCRIPT><a href=", "y"}, {0, ">", ""}}},
        {"<script><a href=x>", V{{0, "<script><a href=x>", ""}}},
        // The first tag's search runs on into the second tag.
        {"<a name=n>x</a><a href='b.htm'>",
         V{{1, "<a name=n>x</a><a href=", "'b.htm'"}, {0, ">", ""}}},
        {"<img lowsrc='a.gif' src='b.gif'>",
         V{{2, "<img lowsrc=", "'a.gif'"}, {0, " src='b.gif'>", ""}}},
        {"<!-- <img src=c.gif> -->", V{{2, "<!-- <img src=", "c.gif"}, {0, "> -->", ""}}},
        {std::string("\0<a href=\xE9\0>\x80", 13),
         V{{1, std::string("\0<a href=", 9), std::string("\xE9\0", 2)}, {0, ">\x80", ""}}},
        // No name, no "=" or no ">" after it: no piece, the rest stays text.
        {"<a title=x>t", V{{0, "<a title=x>t", ""}}},
        {"<a href>t", V{{0, "<a href>t", ""}}},
        {"<a href=x", V{{0, "<a href=x", ""}}},
        {"<a href=x <img src=y>", V{{1, "<a href=", "x "}, {2, "<img src=", "y"}, {0, ">", ""}}},
        // A value with no end before the ">" is handed out empty.
        {"<a href=\"x>y", V{{1, "<a href=", ""}, {0, "\"x>y", ""}}},
        {"<a href=  >z", V{{1, "<a href=  ", ""}, {0, ">z", ""}}},
        // A tag inside the value just handed out yields nothing.
        {"<a href='<img src=q '>z", V{{1, "<a href=", "'<img src=q '"}, {0, ">z", ""}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Cut(c.src), c.pieces) << c.src;
}

TEST(HTMLParser, RandomTextsRebuildTheSourceAndFollowTheRules) {
    // Fragments that steer the tokenizer into its corners, mixed with noise.
    static const char* const atoms[] = {
        "<a ",     "<A ",        "<a\t",      "<img ",       "<IMG ",       "<link",
        "<frame ", "<frameset ", "<script",   "</script",    "<SCRIPT>",    "href",
        "HrEf",    "src",        "lowsrc",    "=",           "= ",          ">",
        "<",       "'",          "\"",        " ",           "\t",          "\n",
        "\r",      "x",          "a.htm",     "#top",        "</a>",        "<b>",
        "<!--",    "-->",        "<a href=",  "<img src=",   "<link href=", "<frame src=",
        " href=",  " src=",      "='q.htm'>", "=\"q.htm\" ", "=u.gif>"};
    std::mt19937 rng(20240611);
    size_t linkPieces = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string src;
        const int atomsInText = std::uniform_int_distribution<int>(0, 60)(rng);
        for (int i = 0; i < atomsInText; ++i) {
            if (rng() % 8 == 0)
                src += static_cast<char>(rng() % 256); // any byte, NUL and 128..255 too
            else
                src += atoms[rng() % std::size(atoms)];
        }
        auto pieces = Cut(src);
        ASSERT_EQ(pieces, ReferenceCut(src)) << "round " << round;
        linkPieces += pieces.size() - 1;
    }
    EXPECT_GT(linkPieces, 5000u); // the texts did reach the link rules
}

TEST(HTMLParser, LongLookAheadStaysLinear) {
    // Many link tags whose attribute lies far ahead, or nowhere: each must not
    // rescan the rest of the text.
    std::string manyAnchors;
    for (int i = 0; i < 200000; ++i)
        manyAnchors += "<a href ";
    manyAnchors += std::string(100000, 'x') + "=v>";
    std::string noAttribute;
    for (int i = 0; i < 200000; ++i)
        noAttribute += "<img alt=x>";
    for (const std::string* src : {&manyAnchors, &noAttribute}) {
        auto pieces = Cut(*src);
        EXPECT_LE(pieces.size(), 2u);
    }
}

TEST(HTMLParser, FromFileOwnsItsCopy) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // The path is Windows-1252 ("\xE9" is e acute) and reaches the file system as UTF-8.
    const std::string path = dir.path().toStdString() + "/caf\xE9.htm";
    const std::string body("<img src=p.gif>\0tail", 20);
    std::ofstream(dir.path().toStdString() + "/caf\xC3\xA9.htm", std::ios::binary) << body;
    THTMLParser p = THTMLParser::FromFile(path);
    std::string rebuilt;
    while (p.Next())
        rebuilt.append(p.Text()).append(p.Value());
    EXPECT_EQ(rebuilt, body);

    EXPECT_THROW(THTMLParser::FromFile(dir.path().toStdString() + "/missing.htm"), EInOutError);
    EXPECT_THROW(THTMLParser::FromFile(dir.path().toStdString()), EInOutError);
    // A device is no file to read; the message gives a reason, not "Success".
    errno = 0;
    try {
        THTMLParser::FromFile("/dev/null");
        ADD_FAILURE() << "a device was read as a page";
    } catch (const EInOutError& e) {
        EXPECT_EQ(std::string(e.what()).find("Success"), std::string::npos) << e.what();
    }
}

} // namespace
