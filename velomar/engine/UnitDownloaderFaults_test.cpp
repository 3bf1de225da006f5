// Downloads against our own fault-injecting server, for what nginx will not do.
#include "engine/UnitDownloaderHTTP.h"
#include "engine/UnitTargetFile.h"
#include "engine/testing/EngineTestSupport.h"
#include "platform/testing/FaultServer.h"

#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace enginetest;
using platform::testing::FaultRoute;
using platform::testing::FaultServer;
using platform::testing::PatternBytes;
using platform::testing::ReadFile;
using platform::testing::RunUntil;

namespace {

class FaultDownload : public EngineFixture {
protected:
    FaultRoute Pattern(std::int64_t size) {
        FaultRoute r;
        r.size = size;
        r.lastModified = "Tue, 15 Nov 1994 08:12:31 GMT";
        return r;
    }
    std::vector<std::string> Ranges(const std::string& path, const char* method = "GET") {
        std::vector<std::string> out;
        for (const auto& r : server.RequestsFor(path))
            if (r.method == method) out.push_back(r.Header("Range"));
        return out;
    }
    FaultServer server;
};

class CredentialsUI : public TEngineUI {
public:
    bool AskCredentials(const std::string& r, std::string& user, std::string& pwd) override {
        realm = r;
        prefilledUser = user;
        ++asked;
        user = "u";
        pwd = "p";
        return answer;
    }
    void DownloadComplete(const std::string& url) override { completed.push_back(url); }
    bool answer = true;
    int asked = 0;
    std::string realm, prefilledUser;
    std::vector<std::string> completed;
};

} // namespace

TEST_F(FaultDownload, HeaderNamesInOddCase) {
    FaultRoute r = Pattern(300000);
    r.oddCaseHeaders = true;
    server.Route("/odd.bin", r);
    TJobItem& job = NewJob(server.Url("/odd.bin"), 3);
    ASSERT_EQ(Run(job), ncSucceeded) << LogText(job);
    EXPECT_TRUE(ReadFile(Downloads() + "/odd.bin") == PatternBytes(0, 300000));
    auto asked = Ranges("/odd.bin");
    std::sort(asked.begin(), asked.end()); // parallel connections come in any order
    EXPECT_EQ(asked, (std::vector<std::string>{"bytes=0-99999", "bytes=100000-199999",
                                               "bytes=200000-299999"}));
    EXPECT_EQ(job.ReadString("Download.Last-Modified"), "Tue, 15 Nov 1994 08:12:31 GMT");
}

TEST_F(FaultDownload, NoContentLengthIsOneOpenRangeEndedByTheClose) {
    FaultRoute r = Pattern(123457);
    r.contentLength = false;
    server.Route("/n.bin", r);
    TJobItem& job = NewJob(server.Url("/n.bin"), 3);
    ASSERT_EQ(Run(job), ncSucceeded) << LogText(job);
    EXPECT_TRUE(ReadFile(Downloads() + "/n.bin") == PatternBytes(0, 123457));
    EXPECT_EQ(Ranges("/n.bin"), std::vector<std::string>{"bytes=0-"});
    EXPECT_EQ(job.ReadInteger("Content-Length"), 123457);
    EXPECT_EQ(job.ReadString("Download.Size"), "?");
}

TEST_F(FaultDownload, NoAcceptRangesIsOneEngineWithoutRange) {
    FaultRoute r = Pattern(300000);
    r.acceptRanges = false;
    server.Route("/p.bin", r);
    TJobItem& job = NewJob(server.Url("/p.bin"), 5);
    ASSERT_EQ(Run(job), ncSucceeded) << LogText(job);
    EXPECT_TRUE(ReadFile(Downloads() + "/p.bin") == PatternBytes(0, 300000));
    EXPECT_EQ(Ranges("/p.bin"), std::vector<std::string>{""});
    EXPECT_EQ(job.ReadString("Download.LastReset"), "Normal Startup");
}

TEST_F(FaultDownload, ConnectionsClosedEarlyContinueFromTheirPosition) {
    FaultRoute r = Pattern(300000);
    r.closeAfter = 70000;
    server.Route("/c.bin", r);
    TJobItem& job = NewJob(server.Url("/c.bin"), 1);
    ASSERT_EQ(Run(job), ncSucceeded) << LogText(job);
    EXPECT_TRUE(ReadFile(Downloads() + "/c.bin") == PatternBytes(0, 300000));
    EXPECT_EQ(Ranges("/c.bin"), (std::vector<std::string>{
                                    "bytes=0-204799", "bytes=204800-299999", "bytes=70000-204799",
                                    "bytes=274800-299999", "bytes=140000-204799"}));
    EXPECT_EQ(Stat("BytesDownloaded"), 300000);
}

TEST_F(FaultDownload, AServerThatNeverSendsDataDoesNotHoldTheJobForEver) {
    FaultRoute r = Pattern(1000);
    r.acceptRanges = false;
    r.closeAfter = 0;
    server.Route("/z.bin", r);
    TJobItem& job = NewJob(server.Url("/z.bin"), 1);
    ASSERT_EQ(Run(job), ncFailed) << LogText(job);
    EXPECT_EQ(Ranges("/z.bin").size(), 5u);
}

TEST_F(FaultDownload, ResetFailsTheAttemptAndTheRetryResumes) {
    FaultRoute r = Pattern(200000);
    r.resetAfter = 60000;
    server.Route("/r.bin", r);
    Main("MaxRetries", "1");
    TJobItem& job = NewJob(server.Url("/r.bin"), 1);
    ASSERT_EQ(Run(job), ncFailed);
    EXPECT_TRUE(HasLog(job, "Error.10054")) << LogText(job);
    EXPECT_TRUE(HasLog(job, "WaitForRetry", "1"));
    EXPECT_EQ(Log(job).back().description, "Fail");
    auto asked = Ranges("/r.bin");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0], "bytes=0-199999");
    EXPECT_EQ(asked[1], "bytes=60000-199999");
    EXPECT_EQ(job.ReadInteger("Download.DownloadedSize"), 120000);
    // What both attempts wrote is in place.
    std::string part = ReadFile(Downloads() + "/r.bin._");
    EXPECT_TRUE(part.substr(0, 120000) == PatternBytes(0, 120000));
}

TEST_F(FaultDownload, SilentServerTimesOutWith10060) {
    platform::ManualClock clock;
    platform::ScopedClock use(&clock);
    FaultRoute r = Pattern(1000);
    r.silent = true;
    server.Route("/s.bin", r);
    TJobItem& job = NewJob(server.Url("/s.bin"), 1);
    job.SetState(jsDownloading);
    ASSERT_TRUE(RunUntil([&] { return HasLog(job, "Connected") && !server.Requests().empty(); }));
    platform::testing::RunFor(300);
    EXPECT_FALSE(Finished(job));
    clock.Advance(59000);
    platform::testing::RunFor(300);
    EXPECT_FALSE(Finished(job)) << "59 seconds of silence are allowed";
    clock.Advance(1000);
    ASSERT_TRUE(RunUntil([&] { return Finished(job); }));
    EXPECT_TRUE(HasLog(job, "Error.10060") || HasLog(job, "Error", "10060")) << LogText(job);
    EXPECT_EQ(Log(job).back().description, "Fail");
}

TEST_F(FaultDownload, RangesAnnouncedButIgnoredAreNotWrittenAtTheirOffset) {
    FaultRoute r = Pattern(300000);
    r.honourRanges = false;
    server.Route("/i.bin", r);
    TJobItem& job = NewJob(server.Url("/i.bin"), 3);
    ASSERT_EQ(Run(job), ncSucceeded) << LogText(job);
    EXPECT_TRUE(ReadFile(Downloads() + "/i.bin") == PatternBytes(0, 300000));
    EXPECT_TRUE(HasLog(job, "", "200")) << LogText(job);
    EXPECT_TRUE(HasLog(job, "Error", "range"));
    auto asked = Ranges("/i.bin");
    EXPECT_NE(std::find(asked.begin(), asked.end(), ""), asked.end())
        << "the next attempt asks for the whole file";
    EXPECT_EQ(job.ReadString("Download.LastReset"), "Ranges Not Accepted By Server");
}

TEST_F(FaultDownload, BasicChallengeAsksForCredentials) {
    FaultRoute r = Pattern(50000);
    r.realm = "Members";
    r.user = "u";
    r.password = "p";
    server.Route("/a.bin", r);
    CredentialsUI ui;
    SetEngineUI(&ui);
    TJobItem& job = NewJob(server.Url("/a.bin"), 2);
    job.WriteString("Authentication.UserID", "previous");
    ASSERT_EQ(Run(job), ncSucceeded) << LogText(job);
    EXPECT_EQ(ui.asked, 1);
    EXPECT_EQ(ui.realm, "\"Members\"");
    EXPECT_EQ(ui.prefilledUser, "previous");
    EXPECT_TRUE(job.ReadBool("UseCustomAuthentication"));
    EXPECT_EQ(job.ReadString("Authentication.UserID"), "u");
    EXPECT_TRUE(ReadFile(Downloads() + "/a.bin") == PatternBytes(0, 50000));
    EXPECT_EQ(ui.completed, std::vector<std::string>{server.Url("/a.bin")});

    // Cancelled: final, no retry.
    Main("MaxRetries", "5");
    ui.answer = false;
    TJobItem& refused = NewJob(server.Url("/a.bin"), 1);
    ASSERT_EQ(Run(refused), ncFailed);
    EXPECT_EQ(ui.asked, 2);
    EXPECT_FALSE(HasLog(refused, "WaitForRetry"));
}

TEST_F(FaultDownload, RedirectLoopFailsAfterTwentyRedirects) {
    server.RedirectLoop("/x", "/y");
    TJobItem& job = NewJob(server.Url("/x"), 1);
    ASSERT_EQ(Run(job), ncFailed);
    int redirects = 0;
    for (const auto& l : Log(job))
        redirects += l.description == "Redirect";
    EXPECT_EQ(redirects, 20);
    EXPECT_TRUE(HasLog(job, "Error", server.Url("/y").substr(7))) << LogText(job);
    EXPECT_EQ(server.Requests().size(), 21u);
}

TEST_F(FaultDownload, RedirectToAnotherSchemeFailsWithoutRetries) {
    Main("MaxRetries", "3");
    Main("RetryDelay", "0");
    const std::string target = "https://127.0.0.1:" + std::to_string(server.Port()) + "/s.bin";
    for (const std::string& location : {target, std::string("ftp://127.0.0.1/f.bin")}) {
        FaultRoute redirect;
        redirect.status = 302;
        redirect.location = location;
        server.Route("/plain", redirect);
        TJobItem& job = NewJob(server.Url("/plain"), 1);
        ASSERT_EQ(Run(job), ncFailed) << LogText(job);
        EXPECT_TRUE(HasLog(job, "UnknownProtocol", location)) << LogText(job);
        EXPECT_FALSE(HasLog(job, "WaitForRetry")) << LogText(job);
    }
    EXPECT_TRUE(server.RequestsFor("/s.bin").empty()) << "never asked in plain text";
    EXPECT_EQ(server.RequestsFor("/plain").size(), 2u);
    // The scheme's case does not matter in a Location.
    FaultRoute upper;
    upper.status = 301;
    upper.location = "HTTP://127.0.0.1:" + std::to_string(server.Port()) + "/u.bin";
    server.Route("/upper", upper);
    server.Route("/u.bin", Pattern(5000));
    TJobItem& job = NewJob(server.Url("/upper"), 1);
    ASSERT_EQ(Run(job), ncSucceeded) << LogText(job);
    EXPECT_TRUE(ReadFile(Downloads() + "/u.bin") == PatternBytes(0, 5000));
}

TEST_F(FaultDownload, RelativeLocationAndFileWithoutPath) {
    FaultRoute redirect;
    redirect.status = 302;
    redirect.location = "sub/../dir/f.bin?x=1";
    server.Route("/from/here", redirect);
    server.Route("/from/dir/f.bin", Pattern(1000));
    TJobItem& job = NewJob(server.Url("/from/here"), 1);
    ASSERT_EQ(Run(job), ncSucceeded) << LogText(job);
    EXPECT_TRUE(HasLog(job, "Redirect", server.Url("/from/dir/f.bin?x=1")));
    EXPECT_TRUE(ReadFile(Downloads() + "/f.bin") == PatternBytes(0, 1000));

    server.Route("/", Pattern(10));
    TJobItem& root = NewJob(server.Url(""), 1);
    ASSERT_EQ(Run(root), ncSucceeded) << LogText(root);
    EXPECT_EQ(server.RequestsFor("/").front().requestLine, "HEAD / HTTP/1.0");
    EXPECT_EQ(server.RequestsFor("/").front().Header("Host"),
              "127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_TRUE(ReadFile(Downloads() + "/index.html") == PatternBytes(0, 10));
}

TEST_F(FaultDownload, ControlCharactersNeverReachARequest) {
    server.Route("/ok", Pattern(10));
    TJobItem& job = NewJob(server.Url("/ok\r\nX-Injected: 1"), 1);
    ASSERT_EQ(Run(job), ncFailed);
    EXPECT_TRUE(HasLog(job, "Error", "control characters")) << LogText(job);
    EXPECT_FALSE(HasLog(job, "Connect"));
    platform::testing::RunFor(100);
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(FaultDownload, RangesPastFourGibibytes) {
    const std::int64_t size = 6442450947; // 3 * 2^31 + 3
    FaultRoute r = Pattern(size);
    r.closeAfter = 16;
    server.Route("/huge.bin", r);
    Main("HTTP.MinRangeSize", "0");
    Main("HTTP.MaxRangeSize", "0");
    Main("AllocFileSize", "0");
    TJobItem& job = NewJob(server.Url("/huge.bin"), 3);
    job.SetState(jsDownloading);
    const std::int64_t starts[] = {0, 2147483649, 4294967298};
    auto positionsMoved = [&] {
        for (int n = 1; n <= 3; ++n) {
            const std::string p = "Download.Ranges." + std::to_string(n) + ".";
            if (job.ReadInteger(p + "Position") < job.ReadInteger(p + "Start") + 32) return false;
        }
        return true;
    };
    ASSERT_TRUE(RunUntil(positionsMoved)) << LogText(job);
    job.SetState(jsStopped);
    EXPECT_EQ(job.ReadInteger("Download.Content-Length"), size);
    EXPECT_EQ(job.ReadInteger("Download.RangeSize"), 2147483649);
    EXPECT_EQ(job.ReadString("Download.Size"), "6442450947");
    auto asked = Ranges("/huge.bin");
    for (int n = 0; n < 3; ++n) {
        const std::string p = "Download.Ranges." + std::to_string(n + 1) + ".";
        EXPECT_EQ(job.ReadInteger(p + "Start"), starts[n]);
        EXPECT_EQ(job.ReadInteger(p + "End"), n == 2 ? size - 1 : starts[n + 1] - 1);
        const std::string first =
            "bytes=" + std::to_string(starts[n]) + "-" + job.ReadString(p + "End");
        const std::string second =
            "bytes=" + std::to_string(starts[n] + 16) + "-" + job.ReadString(p + "End");
        EXPECT_NE(std::find(asked.begin(), asked.end(), first), asked.end()) << first;
        EXPECT_NE(std::find(asked.begin(), asked.end(), second), asked.end()) << second;
    }
    int fd = ::open((Downloads() + "/huge.bin._").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    for (std::int64_t s : starts) {
        char buf[32];
        ASSERT_EQ(::pread(fd, buf, 32, s), 32);
        EXPECT_EQ(std::string(buf, 32), PatternBytes(s, 32)) << s;
    }
    ::close(fd);
}

TEST_F(FaultDownload, PageLinkingToTheRealFileIsReplacedByIt) {
    Main("AggressiveCapturing", "1");
    FaultRoute page;
    page.body =
        "<HTML><body><a href=\"mirror/get.zip\">get</a> <a href=\"get.zip\">self</a></body>";
    page.acceptRanges = false;
    server.Route("/dl/get.zip", page);
    server.Route("/dl/mirror/get.zip", Pattern(5000));
    TJobItem& job = NewJob(server.Url("/dl/get.zip"), 1);
    ASSERT_EQ(Run(job), ncSucceeded) << LogText(job);
    EXPECT_EQ(job.ReadString("URL"), server.Url("/dl/mirror/get.zip"));
    EXPECT_TRUE(HasLog(job, "Redirect", server.Url("/dl/mirror/get.zip")));
    EXPECT_TRUE(ReadFile(Downloads() + "/get.zip") == PatternBytes(0, 5000));
    // A page that links only to itself stays the result.
    FaultRoute self;
    self.body = "<html><a href=\"" + server.Url("/self/s.zip") + "\">me</a></html>";
    server.Route("/self/s.zip", self);
    TJobItem& stays = NewJob(server.Url("/self/s.zip"), 1);
    ASSERT_EQ(Run(stays), ncSucceeded) << LogText(stays);
    EXPECT_EQ(ReadFile(Downloads() + "/s.zip"), self.body);
}

TEST_F(FaultDownload, PagesLinkingToEachOtherEndTheChase) {
    Main("AggressiveCapturing", "1");
    FaultRoute a, b;
    a.body = "<html><a href=\"/b/f.zip\">b</a></html>";
    b.body = "<html><a href=\"/a/f.zip\">a</a></html>";
    server.Route("/a/f.zip", a);
    server.Route("/b/f.zip", b);
    TJobItem& job = NewJob(server.Url("/a/f.zip"), 1);
    ASSERT_EQ(Run(job, 10000), ncSucceeded) << "a page stays the result in the end";
    int redirects = 0;
    for (const auto& l : Log(job))
        redirects += l.description == "Redirect";
    EXPECT_EQ(redirects, 20);
    EXPECT_EQ(job.ReadString("URL"), server.Url("/a/f.zip"));
    EXPECT_EQ(ReadFile(Downloads() + "/f.zip"), a.body);
}

TEST_F(FaultDownload, NothingWaitsForAPulsePeriod) {
    // With a period of ten minutes, only brought-forward pulses can finish these.
    Main("PulseInterval", "600000");
    server.Route("/k.bin", Pattern(10240));
    FaultRoute unknown = Pattern(20000);
    unknown.contentLength = false;
    server.Route("/u.bin", unknown);
    FaultRoute moved;
    moved.status = 302;
    moved.location = "/k.bin";
    server.Route("/m.bin", moved);
    for (const char* path : {"/k.bin", "/u.bin", "/m.bin"}) {
        TJobItem& job = NewJob(server.Url(path), 3);
        job.WriteString("DownloadDirectory", Downloads() + path);
        ASSERT_EQ(Run(job, 10000), ncSucceeded) << path << "\n" << LogText(job);
    }
}

TEST_F(FaultDownload, DebugLogLines) {
    Main("Logging", "1");
    StartLogFile();
    server.Route("/l.bin", Pattern(3000));
    TJobItem& job = NewJob(server.Url("/l.bin"), 1);
    ASSERT_EQ(Run(job), ncSucceeded) << LogText(job);
    const std::string log = ReadFile(LogFileName());
    std::size_t at = 0;
    for (const char* line :
         {"Pulse: startup", "Pulse: getHead", "TempInfo:\r\n", "Connected",
          "Request:\r\nHEAD /l.bin HTTP/1.0", "Header:\r\nHTTP/1.0 200", "Pulse: checkRedirection",
          "Pulse: proccessHead", "Allocating File Size: 3000", "Request:\r\nGET /l.bin",
          "writing 1 at 0: ", "Disconnected", "Pulse: finishDownload", "Pulse: success"}) {
        std::size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "\n" << log.substr(at, 2000);
        at = found;
    }
    EXPECT_NE(log.find("] \r\nPulse: startup\r\n\r\n"), std::string::npos);
}

TEST_F(FaultDownload, UnreadableSizeAndDateCountAsAbsent) {
    FaultRoute r = Pattern(4321);
    r.contentLength = false;
    r.headers = {{"Content-Length", "4321 bytes"}};
    r.lastModified = "the day before yesterday";
    server.Route("/d.bin", r);
    TJobItem& job = NewJob(server.Url("/d.bin"), 3);
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(Run(job), ncSucceeded) << LogText(job);
    EXPECT_TRUE(ReadFile(Downloads() + "/d.bin") == PatternBytes(0, 4321));
    EXPECT_EQ(job.ReadString("Download.Size"), "?") << "an unknown size";
    EXPECT_EQ(job.ReadInteger("Content-Length"), 4321);
    struct stat st {};
    ASSERT_EQ(::stat((Downloads() + "/d.bin").c_str(), &st), 0);
    EXPECT_GE(st.st_mtime, before - 2) << "the file is dated now, not by the unreadable header";
}

TEST_F(FaultDownload, QuietJobsOfTheUpdateCode) {
    FaultRoute r;
    r.body = "[Update]\r\nVersion=2\r\nFile=x.exe\r\n";
    server.Route("/autoupdate.ini", r);
    CredentialsUI ui;
    SetEngineUI(&ui);
    TJobItem& job = NewJob(server.Url("/autoupdate.ini"), 3);
    for (const char* key : {"AvoidHead", "AvoidNotify", "AvoidSave", "AvoidRetry"})
        job.WriteBool(key, true);
    std::vector<std::string> lines;
    job.OnContent = [&](const std::vector<std::string>& l) { lines = l; };
    ASSERT_EQ(Run(job), ncSucceeded) << LogText(job);
    EXPECT_EQ(lines, (std::vector<std::string>{"[Update]", "Version=2", "File=x.exe"}));
    EXPECT_FALSE(FileExists(Downloads() + "/autoupdate.ini")) << "AvoidSave deletes the file";
    EXPECT_TRUE(server.RequestsFor("/autoupdate.ini").size() == 1u);
    EXPECT_EQ(server.RequestsFor("/autoupdate.ini")[0].requestLine, "GET /autoupdate.ini HTTP/1.0");
    EXPECT_EQ(server.RequestsFor("/autoupdate.ini")[0].Header("Range"), "");
    EXPECT_EQ(Stat("FilesDownloaded"), 0);
    EXPECT_EQ(Stat("BytesDownloaded"), 0);
    EXPECT_EQ(SettingsFile->ReadInteger("History", "Count", 0), 0);
    EXPECT_TRUE(ui.completed.empty());
}
