#include "kestrio/app/PageSnapshot.h"

#include <QJsonArray>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace kestrio {
namespace {

TEST(PageSnapshotTest, LinksPicturesFramesTitleAndMarkupAsABrowserReportsThem) {
    const QString html =
        "<!DOCTYPE html>\n<html><head><title> My  Page </title>"
        "<link rel=stylesheet href=s.css></head><body>"
        "<a href='a.htm'>First <b>link</b></a> <a href=\"/b.htm#x\"><img src=p.gif alt=''></a>"
        "<a name=n>no href</a><a href=\"mailto:x@y\">mail</a>"
        "<area href=../c.htm><iframe src=f.htm></iframe>"
        "<script>var s='<a href=no.htm>';</script></body></html>";
    const ParsedPage p = ParsePage(html, "http://127.0.0.1/d/p.htm");
    EXPECT_EQ(p.Document["title"].toString(), "My Page");
    const QJsonArray links = p.Document["links"].toArray();
    ASSERT_EQ(links.size(), 4);
    EXPECT_EQ(links[0]["href"].toString(), "http://127.0.0.1/d/a.htm");
    EXPECT_EQ(links[0]["innerText"].toString(), "First link");
    EXPECT_EQ(links[1]["href"].toString(), "http://127.0.0.1/b.htm#x");
    EXPECT_EQ(links[1]["innerText"].toString(), "");
    EXPECT_EQ(links[2]["href"].toString(), "mailto:x@y");
    EXPECT_EQ(links[3]["href"].toString(), "http://127.0.0.1/c.htm");
    const QJsonArray images = p.Document["images"].toArray();
    ASSERT_EQ(images.size(), 1);
    EXPECT_EQ(images[0]["src"].toString(), "http://127.0.0.1/d/p.gif");
    ASSERT_EQ(p.FrameURLs.size(), 1u);
    EXPECT_EQ(p.FrameURLs[0], "http://127.0.0.1/d/f.htm");
    // The markup keeps the addresses as written, from the html tag on.
    const QString markup = p.Document["all"].toArray()[0].toObject()["outerHTML"].toString();
    EXPECT_TRUE(markup.startsWith("<html><head>")) << markup.toStdString();
    EXPECT_TRUE(markup.contains("<a href='a.htm'>"));
}

TEST(PageSnapshotTest, BaseHrefFramesetAndAPageWithoutHtmlTag) {
    const ParsedPage fs =
        ParsePage("<html><head><base href='http://127.0.0.1/root/'></head>"
                  "<frameset><frame src=top.htm><frame src='/menu.htm'></frameset></html>",
                  "http://127.0.0.1/x/y.htm");
    ASSERT_EQ(fs.FrameURLs.size(), 2u);
    EXPECT_EQ(fs.FrameURLs[0], "http://127.0.0.1/root/top.htm");
    EXPECT_EQ(fs.FrameURLs[1], "http://127.0.0.1/menu.htm");

    const ParsedPage bare = ParsePage("<p>Hi <a href=z.htm>z</a>", "http://127.0.0.1/");
    EXPECT_EQ(bare.Document["all"].toArray()[0].toObject()["outerHTML"].toString(),
              "<HTML><p>Hi <a href=z.htm>z</a></HTML>");
}

long PeakKB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Some thousands of unclosed elements are a page anyone may serve; the parse
// must stay small (recording parse errors would take some hundred megabytes).
TEST(PageSnapshotTest, DeeplyNestedPageParsesInLittleMemory) {
    QString html = "<html><title>Deep</title>";
    for (int i = 0; i < 6000; ++i)
        html += "<div>";
    html += "<a href=deep.htm>deep</a>";
    const long before = PeakKB();
    const ParsedPage p = ParsePage(html, "http://127.0.0.1/");
    EXPECT_LT(PeakKB() - before, 64 * 1024);
    EXPECT_EQ(p.Document["title"].toString(), "Deep");
    const QJsonArray links = p.Document["links"].toArray();
    ASSERT_EQ(links.size(), 1);
    EXPECT_EQ(links[0]["href"].toString(), "http://127.0.0.1/deep.htm");
}

TEST(PageSnapshotTest, BodyDecoding) {
    EXPECT_EQ(DecodeBody("caf\xc3\xa9", ""), QString::fromUtf8("caf\xc3\xa9"));
    EXPECT_EQ(DecodeBody("caf\xe9 \x80", "Content-Type: text/html"),
              QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac"));
}

} // namespace
} // namespace kestrio
