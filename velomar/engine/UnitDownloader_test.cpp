// The downloader's decisions without a network: address split, file names,
// range layout, resume or reset, accounting, figures and the retry rules.
#include "engine/UnitDownloaderHTTP.h"
#include "engine/UnitHTTPText.h"
#include "engine/testing/EngineTestSupport.h"

#include <fstream>
#include <sys/stat.h>

using namespace enginetest;

namespace {

class DownloaderUnit : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        platform::SetTimerMaker([this] {
            auto t = std::make_unique<ManualTimer>();
            timer = t.get();
            return t;
        });
    }
    std::unique_ptr<THTTPDownloader> Make(TJobItem& job) {
        auto d =
            std::make_unique<THTTPDownloader>(job, [this](std::uint8_t c) { codes.push_back(c); });
        d->Pulse(); // psStartup: temp info with Location
        return d;
    }
    ManualTimer* timer = nullptr;
    std::vector<int> codes;
};

THTTPDownloaderSocket& AddEngine(TDownloader& d) {
    d.Engines.push_back(std::make_unique<THTTPDownloaderSocket>(true));
    return static_cast<THTTPDownloaderSocket&>(*d.Engines.back());
}

} // namespace

TEST_F(DownloaderUnit, ConstructionLogsStartUpAndArmsThePulse) {
    TJobItem& job = NewJob("http://h/f");
    job.AddLog(ltInfo, "Old", "");
    Main("PulseInterval", "37");
    THTTPDownloader d(job, {});
    ASSERT_EQ(Log(job).size(), 1u);
    EXPECT_EQ(Log(job)[0].description, "StartUp");
    EXPECT_EQ(timer->interval, 37);
    EXPECT_TRUE(timer->enabled);
    d.Pulse();
    EXPECT_EQ(d.State, psGetHead);
    EXPECT_TRUE(timer->soon) << "a step that changes the state brings the next pulse forward";
    EXPECT_TRUE(timer->enabled);
    EXPECT_EQ(job.ReadString("Failed"), "0");
    EXPECT_EQ(d.TempInfo->Get("location"), "http://h/f");
}

TEST_F(DownloaderUnit, AddressSplit) {
    struct {
        const char *url, *proto, *host, *file, *port, *auth, *user, *pwd;
    } cases[] = {
        {"http://h/dir/f.zip?x=1", "http", "h", "dir/f.zip?x=1", "80", "", "", ""},
        {"  http://h:8080/f  ", "http", "h", "f", "8080", "", "", ""},
        {"http://u:p:q@h:81/f", "http", "h", "f", "81", "Yes", "u", "p:q"},
        {"http://solo@h/f", "http", "h", "f", "80", "Yes", "solo", ""},
        {"http://h", "http", "h", "", "80", "", "", ""},        // fetches "/"
        {"http://h:82?q", "http", "h", "?q", "82", "", "", ""}, // fetches "/?q"
        {"h/f", "http", "h", "f", "80", "", "", ""},
        {"http://h/f.zip?a#b/c", "http", "h", "f.zip?a", "80", "", "", ""},
        {"http://[::1]:8080/f", "http", "[::1]", "f", "8080", "", "", ""},
        {"http://u:p@[fe80::1]/f", "http", "[fe80::1]", "f", "80", "Yes", "u", "p"},
    };
    for (auto& c : cases) {
        TJobItem& job = NewJob(c.url);
        auto d = Make(job);
        d->ParseURL();
        const TTempInfo& t = *d->TempInfo;
        EXPECT_EQ(t.Get("HostProtocol"), c.proto) << c.url;
        EXPECT_EQ(t.Get("HostName"), c.host) << c.url;
        EXPECT_EQ(t.Get("HostFile"), c.file) << c.url;
        EXPECT_EQ(t.Get("HostPort"), c.port) << c.url;
        EXPECT_EQ(t.Get("Authenticate"), c.auth) << c.url;
        EXPECT_EQ(t.Get("Authentication.UserID"), c.user) << c.url;
        EXPECT_EQ(t.Get("Authentication.UserPwd"), c.pwd) << c.url;
    }
    // Credentials in the address win over the job's.
    TJobItem& job = NewJob("http://url:pw@h/f");
    job.WriteBool("UseCustomAuthentication", true);
    job.WriteString("Authentication.UserID", "job");
    job.WriteString("Authentication.UserPwd", "jobpw");
    auto d = Make(job);
    d->ParseURL();
    EXPECT_EQ(d->TempInfo->Get("Authentication.UserID"), "url");
    TJobItem& job2 = NewJob("http://h/f");
    job2.WriteBool("UseCustomAuthentication", true);
    job2.WriteString("Authentication.UserID", "job");
    job2.WriteString("Authentication.UserPwd", "jobpw");
    auto d2 = Make(job2);
    d2->ParseURL();
    EXPECT_EQ(d2->TempInfo->Get("Authenticate"), "Yes");
    EXPECT_EQ(d2->TempInfo->Get("Authentication.UserPwd"), "jobpw");
}

TEST_F(DownloaderUnit, RequestLines) {
    TJobItem& job = NewJob("http://u:p@h:81/dir/my file.zip");
    auto d = Make(job);
    d->ParseURL();
    d->SetupConnection();
    d->TempInfo->Set("Accept-Ranges", "Yes");
    job.WriteInteger("Download.Content-Length", 300000);
    job.WriteInteger("Download.Ranges.2.Position", 100000);
    job.WriteInteger("Download.Ranges.2.End", 199999);
    auto& e = AddEngine(*d);
    e.RangeIndex = 2;
    d->PrepareEngine(e);
    EXPECT_EQ(e.Request, "GET /dir/my%20file.zip HTTP/1.0\r\n"
                         "Accept: */*\r\n"
                         "User-Agent: Mozilla/4.0 (compatible; MSIE 5.0; Windows 98)\r\n"
                         "Host: h:81\r\n"
                         "Authorization: Basic dTpw\r\n"
                         "Range: bytes=100000-199999\r\n\r\n");
    THTTPDownloaderSocket head(false);
    d->PrepareEngine(head);
    EXPECT_EQ(head.Request.substr(0, 35), "HEAD /dir/my%20file.zip HTTP/1.0\r\nA");
    EXPECT_EQ(head.Request.find("Range:"), std::string::npos);
    // Open range of a file of unknown size; proxy form carries the whole URL.
    Main("http.ProxyEnabled", "1");
    Main("HTTP.ProxyHost", "proxy");
    Main("HTTP.ProxyPort", "3128");
    d->SetupConnection();
    EXPECT_EQ(d->TempInfo->Get("ConnectionHost"), "proxy");
    EXPECT_EQ(d->TempInfo->Get("ConnectionPort"), "3128");
    job.WriteInteger("Download.Content-Length", 0);
    job.DeleteKey("Download.Ranges.2.End");
    d->PrepareEngine(e);
    EXPECT_EQ(e.Request.substr(0, 46), "GET http://u:p@h:81/dir/my%20file.zip HTTP/1.0");
    d->TempInfo->Set("Location", "http://h:81/f.zip#frag");
    d->PrepareEngine(e);
    EXPECT_EQ(e.Request.substr(0, 32), "GET http://h:81/f.zip HTTP/1.0\r\n");
    EXPECT_NE(e.Request.find("Range: bytes=100000-\r\n"), std::string::npos);
    EXPECT_NE(e.Request.find("\r\nHost: h:81\r\n"), std::string::npos) << "proxy or not";
    // The default port is left out of Host.
    TJobItem& plain = NewJob("http://h/f");
    auto d2 = Make(plain);
    d2->ParseURL();
    d2->SetupConnection();
    THTTPDownloaderSocket head2(false);
    d2->PrepareEngine(head2);
    EXPECT_NE(head2.Request.find("\r\nHost: h\r\n"), std::string::npos) << head2.Request;
}

TEST_F(DownloaderUnit, TargetNames) {
    struct {
        const char *url, *saveAs, *name;
    } cases[] = {{"http://h/a/f.zip?x=1&y=/2", "", "f.zip"},
                 {"http://h/a/", "", "index.html"},
                 {"http://h", "", "index.html"},
                 {"http://h/a/..", "", "index.html"},
                 {"http://h/a/f.zip", "mine.bin?junk", "mine.bin"},
                 {"http://h/a/f.zip#part2", "", "f.zip"},
                 {"http://h/a/f.zip?v=1#x/y", "", "f.zip"}};
    for (auto& c : cases) {
        TJobItem& job = NewJob(c.url);
        job.WriteString("SaveAs", c.saveAs);
        auto d = Make(job);
        EXPECT_EQ(d->TargetPath(), Downloads() + "/" + c.name) << c.url;
    }
    // The redirect target names the file.
    TJobItem& job = NewJob("http://h/a/old.zip");
    auto d = Make(job);
    d->TempInfo->Set("Location", "http://h/b/new.zip");
    EXPECT_EQ(d->TargetPath(), Downloads() + "/new.zip");
}

namespace {
// Lays out a file and hands ranges to `engines` idle engines until none is left.
std::vector<std::pair<std::int64_t, std::int64_t>> Layout(TDownloader& d, TJobItem& job,
                                                          std::int64_t size, bool ranges) {
    d.TempInfo->Set("HostProtocol", "http");
    d.TempInfo->SetInt("Content-Length", size);
    d.TempInfo->Set("Accept-Ranges", ranges ? "Yes" : "No");
    d.OpenTarget();
    d.ProcessHead();
    std::vector<std::pair<std::int64_t, std::int64_t>> out;
    THTTPDownloaderSocket e(true);
    for (int guard = 0; guard < 100; ++guard) {
        int n = d.AssignRange(e);
        if (n == 0) break;
        const auto& k = d.RangeKeys(n);
        out.emplace_back(job.ReadInteger(k.Start), job.ReadInteger(k.End));
        job.WriteInteger(k.Position, job.ReadInteger(k.End) + 1);
        job.WriteString(k.Status, "complete");
    }
    return out;
}
} // namespace

TEST_F(DownloaderUnit, RangeLayout) {
    Main("AllocFileSize", "0");
    struct {
        std::int64_t size;
        int sockets;
        const char *min, *max;
        std::int64_t rangeSize;
        std::size_t ranges;
    } cases[] = {
        {300000, 3, "51200", "204800", 100000, 3},
        {90000, 3, "51200", "204800", 51200, 2},
        {3000000, 3, "51200", "204800", 204800, 15},
        {10, 3, "51200", "204800", 51200, 1},
        {2, 3, "0", "0", 1, 2}, // ranges are at least one byte
        {1, 1, "0", "0", 1, 1},
        {6442450947, 3, "0", "0", 2147483649, 3},
    };
    for (auto& c : cases) {
        Main("HTTP.MinRangeSize", c.min);
        Main("HTTP.MaxRangeSize", c.max);
        TJobItem& job = NewJob("http://h/f" + std::to_string(c.size), c.sockets);
        auto d = Make(job);
        auto got = Layout(*d, job, c.size, true);
        EXPECT_EQ(job.ReadInteger("Download.RangeSize"), c.rangeSize) << c.size;
        ASSERT_EQ(got.size(), c.ranges) << c.size;
        std::int64_t next = 0;
        for (auto& [s, e] : got) {
            EXPECT_EQ(s, next);
            EXPECT_LE(e - s + 1, c.rangeSize);
            next = e + 1;
        }
        EXPECT_EQ(next, c.size);
        EXPECT_LE(job.ReadInteger("Download.Ranges.Count"), 1) << "finished slots are reused";
    }
    // A server without ranges: one engine, one range, the whole file.
    TJobItem& job = NewJob("http://h/plain", 5);
    auto d = Make(job);
    auto got = Layout(*d, job, 3000000, false);
    EXPECT_EQ(job.ReadInteger("Download.Sockets"), 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].second, 2999999);
    EXPECT_EQ(job.ReadString("Download.LastReset"), "Normal Startup");
    EXPECT_EQ(job.ReadString("Download.Size"), "3000000");
}

TEST_F(DownloaderUnit, UnfinishedRangesGoFirstAndKeepTheirPosition) {
    TJobItem& job = NewJob("http://h/f", 2);
    auto d = Make(job);
    Main("AllocFileSize", "1");
    d->TempInfo->Set("HostProtocol", "http");
    d->TempInfo->SetInt("Content-Length", 300000);
    d->TempInfo->Set("Accept-Ranges", "Yes");
    d->OpenTarget();
    d->ProcessHead();
    struct stat st {};
    ASSERT_EQ(::stat((d->TargetPath() + "._").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 300000) << "the partial file has its full size after a reset";
    THTTPDownloaderSocket a(true), b(true);
    EXPECT_EQ(d->AssignRange(a), 1);
    EXPECT_EQ(d->AssignRange(b), 2);
    job.WriteInteger("Download.Ranges.1.Position", 777);
    EXPECT_FALSE(d->ReleaseProgressRanges());
    EXPECT_EQ(job.ReadString("Download.Ranges.1.Status"), "uncomplete");
    EXPECT_TRUE(d->ReleaseProgressRanges());
    EXPECT_EQ(d->AssignRange(b), 1);
    EXPECT_EQ(job.ReadInteger("Download.Ranges.1.Position"), 777);
    EXPECT_EQ(job.ReadString("Download.Ranges.1.Status"), "progress");
}

TEST_F(DownloaderUnit, ResumeOrReset) {
    struct {
        const char* name;
        const char *storedLM, *storedCL, *headLM, *headCL, *ranges, *outside;
        bool partExists;
        const char* reason; // "" = resume
    } cases[] = {
        {"same", "d1", "500", "d1", "500", "Yes", "", true, ""},
        {"no file", "d1", "500", "d1", "500", "Yes", "", false, "Target File Not Found"},
        {"date", "d1", "500", "d2", "500", "Yes", "", true, "Modified"},
        {"size", "d1", "500", "d1", "501", "Yes", "", true, "Modified"},
        {"no ranges", "d1", "500", "d1", "500", "No", "", true, "Ranges Not Accepted By Server"},
        {"outside", "d1", "500", "d2", "500", "No", "Manually Restarted", true,
         "Manually Restarted"},
    };
    for (auto& c : cases) {
        TJobItem& job = NewJob(std::string("http://h/") + c.name);
        job.WriteString("Download.Last-Modified", c.storedLM);
        job.WriteString("Download.Content-Length", c.storedCL);
        job.WriteString("Download.LastReset", "Earlier");
        job.WriteString("Download.Reset", c.outside);
        job.WriteInteger("Download.DownloadedSize", 123);
        job.WriteInteger("Download.Ranges.Count", 2);
        auto d = Make(job);
        if (c.partExists)
            platform::testing::WriteFile(d->TargetPath() + "._", std::string(800, 'x'));
        d->TempInfo->Set("Last-Modified", c.headLM);
        d->TempInfo->Set("Content-Length", c.headCL);
        d->TempInfo->Set("Accept-Ranges", c.ranges);
        std::int64_t saved = Stat("BytesSaved");
        d->OpenTarget();
        d->ProcessHead();
        EXPECT_EQ(d->TempInfo->Get("Download.Reset"), c.reason) << c.name;
        EXPECT_EQ(job.ReadString("Download.Reset"), "") << c.name;
        if (*c.reason == 0) {
            EXPECT_EQ(Stat("BytesSaved"), saved + 123) << c.name;
            EXPECT_EQ(job.ReadInteger("Download.Ranges.Count"), 2) << c.name;
        } else {
            EXPECT_EQ(Stat("BytesSaved"), saved) << c.name;
            EXPECT_EQ(job.ReadString("Download.LastReset"), c.reason) << c.name;
            EXPECT_EQ(job.ReadInteger("Download.Ranges.Count"), 0) << c.name;
            EXPECT_EQ(job.ReadInteger("Download.DownloadedSize"), 0) << c.name;
            // A longer stale file is cut to the new size.
            EXPECT_EQ(d->TargetStream->Size(), std::atoll(c.headCL)) << c.name;
        }
    }
}

TEST_F(DownloaderUnit, AccountingAndWritesStayInsideTheRange) {
    TJobItem& job = NewJob("http://h/f", 1);
    auto d = Make(job);
    Main("AllocFileSize", "0");
    d->TempInfo->Set("HostProtocol", "http");
    d->TempInfo->SetInt("Content-Length", 30);
    d->TempInfo->Set("Accept-Ranges", "Yes");
    Main("HTTP.MinRangeSize", "10");
    Main("HTTP.MaxRangeSize", "10");
    d->OpenTarget();
    d->ProcessHead();
    auto& e = AddEngine(*d);
    ASSERT_EQ(d->AssignRange(e), 1);
    ASSERT_EQ(d->AssignRange(AddEngine(*d)), 2); // bytes 10..19
    e.RangeIndex = 2;
    d->PrepareEngine(e);
    EXPECT_EQ(e.RangePos, 10);
    EXPECT_EQ(e.RangeEnd, 19);
    // A body that starts before the position and runs past the end.
    e.BodyOffset = 5;
    std::string body;
    for (int i = 5; i < 30; ++i)
        body += char('a' + i - 5);
    std::int64_t bytes = d->WriteBody(e, body.data(), 10); // offsets 5..14
    EXPECT_EQ(bytes, 5);
    EXPECT_FALSE(d->RecordReceived(2, bytes));
    bytes = d->WriteBody(e, body.data() + 10, 4); // 15..18
    EXPECT_FALSE(d->RecordReceived(2, bytes));
    EXPECT_FALSE(TDownloader::RangeFilled(e));
    bytes = d->WriteBody(e, body.data() + 14, 11); // 19..29: only byte 19 belongs here
    EXPECT_EQ(bytes, 1);
    EXPECT_TRUE(d->RecordReceived(2, bytes)) << "complete once its last byte is written";
    EXPECT_EQ(job.ReadString("Download.Ranges.2.Status"), "complete");
    EXPECT_EQ(job.ReadInteger("Download.Ranges.2.Position"), 20);
    EXPECT_EQ(job.ReadInteger("Download.DownloadedSize"), 10);
    EXPECT_EQ(d->TempInfo->GetInt("SessionDownloadedBytes"), 10);
    EXPECT_EQ(Stat("BytesDownloaded"), 10);
    d->TargetStream->Close();
    std::string file = platform::testing::ReadFile(d->TargetPath() + "._");
    ASSERT_EQ(file.size(), 20u);
    EXPECT_EQ(file.substr(10), body.substr(5, 10));
    EXPECT_EQ(file.substr(0, 10), std::string(10, '\0'));
    // A one-byte file: range 0..0 completes.
    TJobItem& one = NewJob("http://h/one", 1);
    auto d1 = Make(one);
    Layout(*d1, one, 1, true);
    EXPECT_TRUE(d1->ReleaseProgressRanges());
    one.WriteInteger("Download.Ranges.1.Position", 0);
    EXPECT_TRUE(d1->RecordReceived(1, 1));
}

TEST_F(DownloaderUnit, FiguresOfTheDownload) {
    platform::ManualClock clock;
    platform::ScopedClock use(&clock);
    TJobItem& job = NewJob("http://h/f");
    auto d = Make(job);
    d->TempInfo->Set("StartTime", platform::DateTimeToText(clock.Now()));
    job.WriteInteger("Download.Content-Length", 1000000);
    // Time left: (C - D) / G * S seconds.
    struct {
        std::int64_t d, g, s;
        const char* left;
    } cases[] = {{0, 1000, 1, "00:16:40"},
                 {1000000 - 3725, 3725, 1, "00:00:01"},
                 {1000000 - 3725 * 10, 10, 1, "01:02:05"},
                 {1000000 - 590, 10, 1, "00:00:59"},
                 {1000000, 10, 1, "?"},
                 {5, 0, 1, "?"}};
    for (auto& c : cases) {
        job.WriteInteger("Download.DownloadedSize", c.d);
        d->TempInfo->SetInt("SessionDownloadedBytes", c.g);
        d->TempInfo->Set("StartTime", platform::DateTimeToText(clock.Now() - c.s));
        d->UpdateStatistics();
        EXPECT_EQ(job.ReadString("Download.EstimatedTime"), c.left) << c.d;
    }
    job.WriteInteger("Download.DownloadedSize", 333333);
    d->UpdateStatistics();
    EXPECT_EQ(job.ReadString("Download.Ratio"), "33%");
    EXPECT_EQ(job.ReadString("Download.ElapsedTime"), "00:00:01");
    // Unknown size: the bytes so far, and no time left.
    job.WriteInteger("Download.Content-Length", 0);
    d->UpdateStatistics();
    EXPECT_EQ(job.ReadString("Download.Ratio"), "333333");
    EXPECT_EQ(job.ReadString("Download.EstimatedTime"), "?");
}

TEST_F(DownloaderUnit, RateSamplesIgnoreUpToThreeSlowerOnes) {
    platform::ManualClock clock;
    platform::ScopedClock use(&clock);
    TJobItem& job = NewJob("http://h/f");
    auto d = Make(job);
    d->TempInfo->Set("StartTime", platform::DateTimeToText(clock.Now()));
    std::vector<std::int64_t> seen;
    for (std::int64_t rate : {1000, 400, 400, 400, 400, 900}) {
        d->TempInfo->SetInt("InstantDownloadedBytes", rate * 3);
        clock.Advance(3000);
        d->UpdateStatistics();
        seen.push_back(job.ReadInteger("Download.BPS"));
        clock.Advance(1000); // a pulse less than two seconds after the sample takes none
        d->UpdateStatistics();
        EXPECT_EQ(job.ReadInteger("Download.BPS"), seen.back());
        clock.Advance(-1000);
    }
    EXPECT_EQ(seen, (std::vector<std::int64_t>{1000, 1000, 1000, 1000, 400, 900}));
}

TEST_F(DownloaderUnit, RetryRules) {
    platform::ManualClock clock;
    platform::ScopedClock use(&clock);
    struct {
        const char *always, *max;
        bool avoidRetry;
        int retries; // retries made before the final failure
    } cases[] = {{"0", "0", false, 0}, {"0", "2", false, 2}, {"1", "0", true, 0}};
    for (auto& c : cases) {
        Main("AlwaysRetry", c.always);
        Main("MaxRetries", c.max);
        Main("RetryDelay", "10");
        TJobItem& job = NewJob("http://127.0.0.1:9/f");
        job.WriteBool("AvoidRetry", c.avoidRetry);
        codes.clear();
        auto d = Make(job);
        int retries = 0;
        for (int attempt = 0; attempt < 10 && codes.empty(); ++attempt) {
            d->SetState(psFail);
            d->Pulse();
            if (!codes.empty()) break;
            EXPECT_EQ(d->State, psWaitRetry);
            ++retries;
            EXPECT_TRUE(HasLog(job, "WaitForRetry", std::to_string(retries)));
            clock.Advance(9900);
            d->Pulse();
            EXPECT_EQ(d->State, psWaitRetry) << "RetryDelay not over yet";
            clock.Advance(100);
            d->Pulse();
            EXPECT_EQ(d->State, psStartup);
            d->Pulse();
        }
        EXPECT_EQ(codes, std::vector<int>{ncFailed});
        EXPECT_EQ(retries, c.retries);
        EXPECT_FALSE(timer->enabled) << "the pulse stays stopped after the final failure";
        EXPECT_EQ(Log(job).back().description, "Fail");
    }
    // AlwaysRetry retries without limit.
    Main("AlwaysRetry", "1");
    Main("MaxRetries", "0");
    Main("RetryDelay", "0");
    TJobItem& job = NewJob("http://127.0.0.1:9/f");
    auto d = Make(job);
    for (int i = 0; i < 15; ++i) {
        d->SetState(psFail);
        d->Pulse();
        ASSERT_EQ(d->State, psWaitRetry);
    }
    EXPECT_EQ(d->RetryCount, 15);
}
