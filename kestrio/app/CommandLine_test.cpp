#include "kestrio/app/CommandLine.h"
#include "kestrio/app/NativeMessaging.h"

#include <gtest/gtest.h>

namespace kestrio {
namespace {

TEST(CommandLineTest, ServerSwitchesAndBrowserStartsAreRecognised) {
    const struct {
        std::vector<std::string> args;
        StartMode mode;
    } cases[] = {
        {{}, StartMode::ByHand},
        {{"/Automation"}, StartMode::Automation},
        {{"-EMBEDDING"}, StartMode::Automation},
        {{"/regserver"}, StartMode::RegServer},
        {{"-UnRegServer"}, StartMode::UnregServer},
        {{"chrome-extension://abcdefghijklmnopabcdefghijklmnop/"}, StartMode::Automation},
        {{"chrome-extension://abc/", "--parent-window=0"}, StartMode::Automation},
        {{"/home/u/.mozilla/native-messaging-hosts/kestrio.kesapp.json", "kestrio@tamrisk.example"},
         StartMode::Automation},
        {{"/REGSERVERX"}, StartMode::Usage},
        {{"page.json", "x"}, StartMode::Usage}, // not an absolute manifest path
        {{"--page", "p.json"}, StartMode::Terminal},
        {{"http://127.0.0.1/x.htm", "--save-to", "/tmp/o", "--all-links"}, StartMode::Terminal},
        {{"--save-to", "/tmp/o"}, StartMode::Usage},
        {{"--page"}, StartMode::Usage},
        {{"--page", "p.json", "http://127.0.0.1/"}, StartMode::Usage},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const auto& a : c.args)
            joined += a + " ";
        EXPECT_EQ(ParseCommandLine(c.args).Mode, c.mode) << joined;
    }
    const CommandLine cl = ParseCommandLine(
        {"http://127.0.0.1/a.htm", "--select", "two words", "--save-to", "/o", "--pictures"});
    EXPECT_EQ(cl.URL, "http://127.0.0.1/a.htm");
    EXPECT_EQ(cl.Select, "two words");
    EXPECT_EQ(cl.SaveTo, "/o");
    EXPECT_TRUE(cl.Pictures);
    EXPECT_FALSE(cl.AllLinks);
}

TEST(NativeMessagingTest, FramesSplitAcrossReadsAndTheLimits) {
    const QByteArray a = FrameMessage(R"({"call":"Start"})");
    const QByteArray b = FrameMessage("{}");
    ASSERT_EQ(a.size(), 4 + 16);
    const QByteArray stream = a + b;
    FrameReader r;
    QByteArray m;
    std::vector<QByteArray> got;
    for (char c : stream) { // one byte at a time, as a pipe may deliver
        r.Feed(&c, 1);
        while (r.Take(m))
            got.push_back(m);
    }
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], R"({"call":"Start"})");
    EXPECT_EQ(got[1], "{}");
    EXPECT_FALSE(r.Pending());

    EXPECT_TRUE(FrameMessage(QByteArray(int(kMaxMessageToBrowser) + 1, 'x')).isEmpty());
    EXPECT_FALSE(FrameMessage(QByteArray(int(kMaxMessageToBrowser), 'x')).isEmpty());

    FrameReader huge;
    const uint32_t n = kMaxMessageFromBrowser + 1;
    huge.Feed(reinterpret_cast<const char*>(&n), 4);
    EXPECT_FALSE(huge.Take(m));
    EXPECT_TRUE(huge.Broken());
}

} // namespace
} // namespace kestrio
