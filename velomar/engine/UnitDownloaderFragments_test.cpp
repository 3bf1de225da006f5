// Headers and answers that arrive cut into pieces over a real connection.
#include "engine/UnitDownloaderHTTP.h"
#include "engine/testing/EngineTestSupport.h"
#include "engine/testing/FragmentServer.h"

using namespace enginetest;

namespace {
class FragmentedAnswers : public EngineFixture {};

std::string Body(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return s;
}
} // namespace

TEST_F(FragmentedAnswers, HeaderInPiecesAndBodyWithTheHeaderEnd) {
    const std::string body = Body(120000);
    const std::string lm = "Last-Modified: Sat, 29 Feb 2020 10:20:30 GMT\r\n";
    // Answer starts: "HTTP/1.0 206 Partial Content\r\n" is 30 bytes.
    struct {
        const char* name;
        std::vector<std::size_t> cuts;
    } cases[] = {
        {"bytebybyte", std::vector<std::size_t>(200, 1)},
        {"odd", {7, 13, 1, 29, 3, 60, 2, 2, 2, 500}},
        {"whole", {}},
    };
    for (auto& c : cases) {
        FragmentServer server(body, c.cuts, lm);
        TJobItem& job = NewJob(server.Url("/frag/data.bin"), 3);
        job.WriteString("SaveAs", std::string(c.name) + ".bin");
        Main("HTTP.MinRangeSize", "0");
        ASSERT_EQ(Run(job), ncSucceeded) << c.name << "\n" << LogText(job);
        EXPECT_TRUE(platform::testing::ReadFile(Downloads() + "/" + c.name + ".bin") == body)
            << c.name;
        EXPECT_EQ(job.ReadString("Download.Last-Modified"), "Sat, 29 Feb 2020 10:20:30 GMT");
        EXPECT_EQ(job.ReadInteger("Download.Content-Length"), 120000);
        EXPECT_EQ(server.Requests().size(), 4u) << c.name;
    }
}

TEST_F(FragmentedAnswers, HeaderEndSplitBetweenItsLineBreaks) {
    const std::string body = Body(5000);
    // Find the header length of a ranged answer to cut inside its CR LF CR LF.
    const std::string head = "HTTP/1.0 206 Partial Content\r\nContent-Range: bytes 0-4999/5000\r\n"
                             "Content-Length: 5000\r\nAccept-Ranges: bytes\r\n\r\n";
    for (std::size_t back : {1, 2, 3}) {
        FragmentServer server(body, {head.size() - back, back + 10});
        TJobItem& job = NewJob(server.Url("/s.bin"), 1);
        job.WriteString("SaveAs", "split" + std::to_string(back));
        ASSERT_EQ(Run(job), ncSucceeded) << LogText(job);
        EXPECT_TRUE(platform::testing::ReadFile(Downloads() + "/split" + std::to_string(back)) ==
                    body);
    }
}
