#include "desktop/UnitHeadless.h"

#include "desktop/UnitStart.h"
#include "i18n/UnitLanguageManagement.h"
#include "jobs/UnitJobManagement.h"
#include "platform/Cp1252.h"
#include "storage/UnitLogFiles.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace {

constexpr int kTickMs = 500;         // a terminal is redrawn at most this often
constexpr int kPlainEveryTicks = 10; // plain output (not a terminal): every 5 s
constexpr int kLogLinesShown = 10;

int gSignalPipe[2] = {-1, -1};

// Only hands the signal to the event loop; everything else happens there.
extern "C" void OnStopSignal(int sig) {
    const int saved = errno;
    const unsigned char b = static_cast<unsigned char>(sig);
    [[maybe_unused]] const auto written = ::write(gSignalPipe[1], &b, 1);
    errno = saved;
}

bool InstallStopSignals() {
    if (gSignalPipe[0] < 0 && ::pipe2(gSignalPipe, O_NONBLOCK | O_CLOEXEC) != 0) return false;
    struct sigaction sa = {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN); // a closed stdout must not kill a download
    return true;
}

std::string Out(const std::string& cp1252) {
    return platform::Cp1252ToUtf8(cp1252);
}

std::string HumanBytes(std::int64_t n) {
    static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    double v = static_cast<double>(n);
    int u = 0;
    while (v >= 1024.0 && u < 4) {
        v /= 1024.0;
        ++u;
    }
    char buf[32];
    if (u == 0)
        std::snprintf(buf, sizeof buf, "%lld B", static_cast<long long>(n));
    else
        std::snprintf(buf, sizeof buf, "%.1f %s", v, units[u]);
    return buf;
}

// A size key as shown: bytes in units, "?" when unknown.
std::string SizeText(const std::string& stored) {
    if (stored.empty() || stored.find_first_not_of("0123456789") != std::string::npos) return "?";
    return HumanBytes(std::stoll(stored));
}

std::string FileName(TJobItem& job) {
    const std::string url = job.ReadString("URL");
    const auto slash = url.rfind('/');
    std::string name = slash == std::string::npos ? url : url.substr(slash + 1);
    return name.empty() ? url : name;
}

class HeadlessRun {
public:
    HeadlessRun() : tty_(::isatty(STDOUT_FILENO) == 1) {}

    void Track(TJobItem* job) {
        if (trackedSet_.insert(job).second) tracked_.push_back(job);
    }

    // URLs from outside: a URL already in the list makes no second job; the
    // user asked for it, so an unfinished listed job is wanted again. One
    // queue pass follows the whole list: a pass per URL made adding n URLs
    // cost n passes over a growing list.
    void AddURLs(const std::vector<std::string>& urls) {
        std::unordered_map<std::string, TJobItem*> listed;
        for (std::size_t i = 0; i < JobManager->Count(); ++i)
            listed.emplace(JobManager->Job(i)->ReadString("URL"), JobManager->Job(i));
        for (const std::string& url : urls) {
            const auto it = listed.find(url);
            TJobItem* job = it == listed.end() ? nullptr : it->second;
            if (job) {
                if (!job->ReadBool("Completed") && !job->ReadBool("Selected"))
                    job->WriteBool("Selected", true);
            } else {
                auto fresh = JobManager->NewJob(url, "", "");
                fresh->WriteBool("Selected", true);
                job = fresh.get();
                JobManager->AppendJob(std::move(fresh));
                listed.emplace(url, job);
            }
            Track(job);
        }
        JobManager->UpdateQueue();
    }

    void OnJobEvent(TJobItem* job, std::uint8_t code) {
        if (code == ncAllDone) {
            // Raised inside the finishing job's own pulse: leave from the loop.
            QMetaObject::invokeMethod(
                qApp, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
            return;
        }
        if (!job) return;
        if (job->State == jsDownloading) Track(job);
        if (code == ncSucceeded || code == ncFailed) PrintFinal(job);
    }

    void Tick() {
        for (std::size_t i = 0; i < JobManager->Count(); ++i)
            if (JobManager->Job(i)->State == jsDownloading) Track(JobManager->Job(i));
        if (tty_) {
            Redraw();
        } else if (++ticks_ % kPlainEveryTicks == 0) {
            for (TJobItem* job : tracked_)
                if (job->State == jsDownloading) std::printf("%s\n", ProgressLine(*job).c_str());
            std::fflush(stdout);
        }
    }

    // Final lines for the jobs not reported yet; the exit status of the run.
    int Finish(int stopSignal) {
        ClearBlock();
        bool allCompleted = true;
        for (TJobItem* job : tracked_) {
            if (!job->ReadBool("Completed")) allCompleted = false;
            if (!finished_.count(job)) {
                if (stopSignal && !job->ReadBool("Completed"))
                    PrintLine(FileName(*job) + "  stopped at " + Ratio(*job));
                else
                    PrintFinal(job);
            }
        }
        std::fflush(stdout);
        if (stopSignal) return 128 + stopSignal;
        return allCompleted ? heCompleted : heFailed;
    }

private:
    static std::string Ratio(TJobItem& job) {
        const std::string r = job.ReadString("Download.Ratio");
        return r.empty() ? "0%" : r;
    }

    std::string ProgressLine(TJobItem& job) const {
        const std::string left = job.ReadString("Download.EstimatedTime");
        return Out(FileName(job)) + "  " + SizeText(job.ReadString("Download.Size")) + "  " +
               Out(Ratio(job)) + "  " + HumanBytes(job.ReadInteger("Download.BPS")) + "/s  left " +
               Out(left.empty() ? "?" : left);
    }

    void PrintLine(const std::string& text) {
        ClearBlock();
        std::printf("%s\n", Out(text).c_str());
        std::fflush(stdout);
    }

    void PrintFinal(TJobItem* job) {
        finished_.insert(job);
        const std::string name = FileName(*job);
        if (job->ReadBool("Completed")) {
            std::string size = job->ReadString("Content-Length");
            if (size.empty() || size == "0") size = job->ReadString("Download.Size");
            PrintLine(name + "  " + SizeText(size) + "  completed  " +
                      job->ReadString("Download.TargetFileName"));
            return;
        }
        PrintLine(name + "  failed");
        const auto count = static_cast<int>(job->ReadInteger("LogCount"));
        for (int n = std::max(1, count - kLogLinesShown + 1); n <= count; ++n) {
            const TLogEntry e = ReadLogEntry(*job, n);
            std::fprintf(stderr, "  %s  %s\n", Out(e.Moment).c_str(), Out(e.Text).c_str());
        }
        std::fflush(stderr);
    }

    void ClearBlock() {
        if (!tty_ || drawn_ == 0) return;
        std::printf("\x1b[%dA\r\x1b[J", drawn_);
        drawn_ = 0;
    }

    void Redraw() {
        int width = 80;
        winsize ws = {};
        if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1) width = ws.ws_col - 1;
        ClearBlock();
        for (TJobItem* job : tracked_) {
            if (job->State != jsDownloading) continue;
            std::string line = ProgressLine(*job);
            if (static_cast<int>(line.size()) > width)
                line.resize(
                    static_cast<std::size_t>(width)); // no wrap, so the block can be redrawn
            std::printf("%s\n", line.c_str());
            ++drawn_;
        }
        std::fflush(stdout);
    }

    const bool tty_;
    int drawn_ = 0;
    long ticks_ = 0;
    std::vector<TJobItem*> tracked_;           // jobs are never removed during a run
    std::unordered_set<TJobItem*> trackedSet_; // tracked_, for an event's look-up
    std::set<TJobItem*> finished_;
};

} // namespace

int RunHeadless(const std::vector<std::string>& urls) {
    if (!LockSettingsInstance()) {
        std::fprintf(stderr, "velomar: another instance is using %s\n", SettingsFileName().c_str());
        return heBusy;
    }
    if (!InstallStopSignals()) {
        std::perror("velomar: pipe");
        return heFailed;
    }
    int stopSignal = 0;
    QSocketNotifier stopNotifier(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, [&] {
        unsigned char b = 0;
        while (::read(gSignalPipe[0], &b, 1) == 1)
            if (!stopSignal) stopSignal = b;
        QCoreApplication::quit();
    });

    StartModules();
    LangManager->LoadCurrent();

    HeadlessRun run;
    for (std::size_t i = 0; i < JobManager->Count(); ++i)
        if (JobManager->Job(i)->State == jsDownloading) run.Track(JobManager->Job(i));
    JobManager->OnChange = [&run](TJobItem* job, std::uint8_t code) { run.OnJobEvent(job, code); };
    run.AddURLs(urls);

    if (JobManager->Active) {
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&run] { run.Tick(); });
        tick.start(kTickMs);
        QCoreApplication::exec();
    }

    const int status = run.Finish(stopSignal);
    JobManager->OnChange = nullptr;
    StopModules();
    return status;
}
