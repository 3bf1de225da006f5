// Whole downloads against nginx started by the test on 127.0.0.1.
#include "engine/UnitDownloaderHTTP.h"
#include "engine/UnitTargetFile.h"
#include "engine/testing/EngineTestSupport.h"
#include "platform/testing/NginxServer.h"
#include "platform/testing/SquidServer.h"

#include <ctime>
#include <sys/stat.h>
#include <utime.h>

using namespace enginetest;
using platform::testing::NginxOptions;
using platform::testing::NginxServer;
using platform::testing::ReadFile;
using platform::testing::RunUntil;
using platform::testing::SquidServer;
using platform::testing::WriteFile;

namespace {

std::string Content(std::size_t size, std::uint32_t seed) {
    std::string s(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return s;
}

void SetMTime(const std::string& path, std::time_t t) {
    struct utimbuf u {
        t, t
    };
    ::utime(path.c_str(), &u);
}

std::time_t MTime(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mtime;
}

class NginxDownload : public EngineFixture {
protected:
    std::unique_ptr<NginxServer> Start(NginxOptions o = {}) {
        return std::make_unique<NginxServer>(std::move(o));
    }
};

} // namespace

TEST_F(NginxDownload, ByteIdenticalWithOneThreeAndEightEngines) {
    auto nginx = Start();
    const std::string data = Content(3000000, 1);
    WriteFile(nginx->Root() + "/files/big.bin", data);
    const std::time_t stamp = 1577934246; // 2020-01-02 03:04:06 UTC, an even second
    SetMTime(nginx->Root() + "/files/big.bin", stamp);
    int n = 0;
    for (int engines : {1, 3, 8}) {
        TJobItem& job = NewJob(nginx->Url("/files/big.bin"), engines);
        job.WriteString("SaveAs", "copy" + std::to_string(engines) + ".bin");
        ASSERT_EQ(Run(job), ncSucceeded) << LogText(job);
        const std::string target = Downloads() + "/copy" + std::to_string(engines) + ".bin";
        EXPECT_TRUE(ReadFile(target) == data) << engines << " engines";
        EXPECT_FALSE(FileExists(target + "._"));
        EXPECT_EQ(MTime(target), stamp) << "the file carries the server's date";
        EXPECT_EQ(job.ReadString("Download.TargetFileName"), target);
        EXPECT_EQ(job.ReadInteger("Download.Sockets"), 0) << "progress keys are cleared";
        EXPECT_EQ(job.ReadString("Download.Ranges.1.Start"), "");
        EXPECT_EQ(job.ReadString("Download.EstimatedTime"), "");
        EXPECT_EQ(job.ReadString("Download.Ratio"), "100%");
        EXPECT_EQ(job.ReadInteger("Content-Length"), 3000000);
        EXPECT_TRUE(job.ReadBool("Completed"));
        EXPECT_EQ(Log(job).back().description, "Success");
        EXPECT_EQ(job.State, jsCompleted);
        EXPECT_EQ(job.Downloader, nullptr);
        ++n;
        EXPECT_EQ(Stat("FilesDownloaded"), n);
        EXPECT_EQ(SettingsFile->ReadInteger("History", "Count", 0), n);
    }
    EXPECT_EQ(Stat("BytesDownloaded"), 3 * 3000000);
    // Every range request asked for a piece of at most the largest range size.
    int ranged = 0;
    for (const auto& line : nginx->AccessLog())
        if (line.rfind("GET", 0) == 0 && line.find("|bytes=") != std::string::npos) ++ranged;
    EXPECT_EQ(ranged, 3 * 15);
}

TEST_F(NginxDownload, ThroughAProxy) {
    if (!SquidServer::Available()) GTEST_SKIP() << "squid is not installed";
    auto nginx = Start();
    SquidServer squid;
    const std::string data = Content(500000, 7);
    WriteFile(nginx->Root() + "/p.bin", data);
    Main("HTTP.ProxyEnabled", "1");
    Main("HTTP.ProxyHost", "127.0.0.1");
    Main("HTTP.ProxyPort", std::to_string(squid.Port()));
    TJobItem& job = NewJob(nginx->Url("/p.bin"), 3);
    ASSERT_EQ(Run(job), ncSucceeded) << LogText(job);
    EXPECT_TRUE(ReadFile(Downloads() + "/p.bin") == data);
    EXPECT_TRUE(HasLog(job, "Connect", "127.0.0.1:" + std::to_string(squid.Port())));
    // Every request went through the proxy, and the ranges reached the server.
    int ranged = 0;
    for (const auto& line : nginx->AccessLog())
        ranged += line.rfind("GET /p.bin", 0) == 0 && line.find("|bytes=") != std::string::npos;
    EXPECT_EQ(ranged, 4) << "500,000 bytes in ranges of 166,666";
    const auto via = squid.Requests();
    ASSERT_EQ(via.size(), 1u + 4u) << "the head and the ranges";
    EXPECT_EQ(via.front(), "HEAD " + nginx->Url("/p.bin"));
    EXPECT_EQ(via.back(), "GET " + nginx->Url("/p.bin"));
}

TEST_F(NginxDownload, StopHalfWayThenResume) {
    NginxOptions o;
    o.slowRate = 150000;
    auto nginx = Start(o);
    const std::string data = Content(1200000, 2);
    WriteFile(nginx->Root() + "/slow/f.bin", data);
    Main("HTTP.MaxRangeSize", "400000");
    TJobItem& job = NewJob(nginx->Url("/slow/f.bin"), 3);
    job.SetState(jsDownloading);
    ASSERT_TRUE(RunUntil([&] { return job.ReadInteger("Download.DownloadedSize") >= 300000; }));
    job.SetState(jsStopped);
    ASSERT_FALSE(Finished(job));
    const std::int64_t had = job.ReadInteger("Download.DownloadedSize");
    std::vector<std::string> expected; // where the ranges in flight go on
    for (int i = 1; i <= job.ReadInteger("Download.Ranges.Count"); ++i) {
        const std::string p = "Download.Ranges." + std::to_string(i) + ".";
        EXPECT_EQ(job.ReadString(p + "Status"), "progress");
        expected.push_back("bytes=" + job.ReadString(p + "Position") + "-" +
                           job.ReadString(p + "End"));
    }
    const std::size_t logBefore = nginx->AccessLog().size();
    const std::int64_t savedBefore = Stat("BytesSaved");

    ASSERT_EQ(Run(job), ncSucceeded) << LogText(job);
    EXPECT_TRUE(ReadFile(Downloads() + "/f.bin") == data);
    EXPECT_EQ(Stat("BytesSaved"), savedBefore + had);
    EXPECT_EQ(Stat("BytesDownloaded"), 1200000) << "no byte was written twice";
    auto log = nginx->AccessLog();
    std::vector<std::string> asked;
    for (std::size_t i = logBefore; i < log.size(); ++i)
        if (log[i].rfind("GET", 0) == 0) asked.push_back(log[i].substr(log[i].find('|') + 1));
    for (const auto& range : expected) {
        bool found = false;
        for (const auto& a : asked)
            found = found || a.rfind(range + "|", 0) == 0;
        EXPECT_TRUE(found) << range << " not asked again";
    }
    EXPECT_FALSE(HasLog(job, "Error"));
}

TEST_F(NginxDownload, ChangedRemoteFileStartsOver) {
    NginxOptions o;
    o.slowRate = 200000;
    auto nginx = Start(o);
    const std::string path = nginx->Root() + "/slow/c.bin";
    WriteFile(path, Content(800000, 3));
    SetMTime(path, 1500000000);
    TJobItem& job = NewJob(nginx->Url("/slow/c.bin"), 2);
    job.SetState(jsDownloading);
    ASSERT_TRUE(RunUntil([&] { return job.ReadInteger("Download.DownloadedSize") >= 100000; }));
    job.SetState(jsStopped);
    const std::string fresh = Content(700000, 4);
    WriteFile(path, fresh);
    SetMTime(path, 1600000000);
    const std::int64_t saved = Stat("BytesSaved");
    ASSERT_EQ(Run(job), ncSucceeded) << LogText(job);
    EXPECT_EQ(job.ReadString("Download.LastReset"), "Modified");
    EXPECT_EQ(Stat("BytesSaved"), saved);
    EXPECT_TRUE(ReadFile(Downloads() + "/c.bin") == fresh) << "a longer stale file is cut";
}

TEST_F(NginxDownload, BasicAuthenticationFromTheAddressAndFromTheJob) {
    NginxOptions o;
    o.basicAuth.push_back({"/private/", "Zone", "alice", "s3cret"});
    auto nginx = Start(o);
    const std::string data = Content(150000, 5);
    WriteFile(nginx->Root() + "/private/p.bin", data);
    std::string url = nginx->Url("/private/p.bin");
    const std::string withCreds = "http://alice:s3cret@" + url.substr(7);

    TJobItem& a = NewJob(withCreds, 3);
    a.WriteBool("UseCustomAuthentication", true); // the address wins over these
    a.WriteString("Authentication.UserID", "mallory");
    a.WriteString("Authentication.UserPwd", "wrong");
    a.WriteString("SaveAs", "a.bin");
    ASSERT_EQ(Run(a), ncSucceeded) << LogText(a);
    EXPECT_TRUE(ReadFile(Downloads() + "/a.bin") == data);

    TJobItem& b = NewJob(url, 3);
    b.WriteBool("UseCustomAuthentication", true);
    b.WriteString("Authentication.UserID", "alice");
    b.WriteString("Authentication.UserPwd", "s3cret");
    b.WriteString("SaveAs", "b.bin");
    ASSERT_EQ(Run(b), ncSucceeded) << LogText(b);
    EXPECT_TRUE(ReadFile(Downloads() + "/b.bin") == data);

    // Refused credentials with nobody to ask: a final failure despite retries.
    Main("MaxRetries", "3");
    TJobItem& c = NewJob(url, 1);
    ASSERT_EQ(Run(c), ncFailed);
    EXPECT_TRUE(HasLog(c, "", "401"));
    EXPECT_FALSE(HasLog(c, "WaitForRetry"));
}

TEST_F(NginxDownload, RedirectsAreFollowedAndNameTheFile) {
    NginxOptions o;
    o.redirects.push_back({"/old.bin", "/new/target.bin"});
    o.extraServerConfig =
        "    location = /rel { absolute_redirect off; return 302 new/target.bin; }\n";
    auto nginx = Start(o);
    const std::string data = Content(250000, 6);
    WriteFile(nginx->Root() + "/new/target.bin", data);
    for (const char* from : {"/old.bin", "/rel"}) {
        TJobItem& job = NewJob(nginx->Url(from), 3);
        job.WriteString("DownloadDirectory", Downloads() + from);
        ASSERT_EQ(Run(job), ncSucceeded) << LogText(job);
        EXPECT_TRUE(ReadFile(Downloads() + from + "/target.bin") == data) << from;
        EXPECT_TRUE(HasLog(job, "Redirect", nginx->Url("/new/target.bin"))) << LogText(job);
        int connects = 0;
        for (const auto& l : Log(job))
            connects += l.description == "Connect";
        EXPECT_EQ(connects, 2);
    }
}

TEST_F(NginxDownload, MissingFileFails) {
    auto nginx = Start();
    TJobItem& job = NewJob(nginx->Url("/nothing.bin"), 3);
    ASSERT_EQ(Run(job), ncFailed);
    auto log = Log(job);
    bool reply = false;
    for (const auto& l : log)
        reply = reply || (l.type == ltServerReply && l.info.find("404") != std::string::npos);
    EXPECT_TRUE(reply) << LogText(job);
    EXPECT_EQ(log.back().description, "Fail");
    EXPECT_TRUE(job.ReadBool("Failed"));
    EXPECT_EQ(job.State, jsFailed);
}
