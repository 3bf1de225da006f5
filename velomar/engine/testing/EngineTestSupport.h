#pragma once
// Fixture of the engine tests: a program folder of its own with a settings
// file, the downloader factory installed, jobs in numbered sections, and a
// way to run one job through the real event loop.
#include "engine/UnitDownloader.h"
#include "engine/UnitDownloaderFactory.h"
#include "engine/UnitEngineUI.h"
#include "i18n/UnitLanguageManagement.h"
#include "platform/Timer.h"
#include "platform/testing/EventLoop.h"
#include "platform/testing/TempDir.h"
#include "storage/UnitJobItem.h"
#include "storage/UnitLogFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace enginetest {

struct LogLine {
    int type;
    std::string description, info;
};

// A timer that never fires by itself: unit tests call Pulse when they want.
class ManualTimer : public platform::Timer {
public:
    void SetInterval(int ms) override { interval = ms; }
    int Interval() const override { return interval; }
    void SetEnabled(bool on) override { enabled = on; }
    bool Enabled() const override { return enabled; }
    void FireSoon() override { soon = true; }
    int interval = 0;
    bool enabled = false;
    bool soon = false;
};

class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override {
        platform::testing::App();
        program_ = dir_.File("velomar");
        setenv("VELOMAR_PROGRAM_PATH", program_.c_str(), 1);
        const std::string reg = dir_.File("registry");
        setenv("REGISTRY_DIR", reg.c_str(), 1);
        settings_ = std::make_unique<TDownloaderINIFile>(dir_.File("velomar.ini"));
        SettingsFile = settings_.get();
        previousLang_ = LangManager;
        lang_ = std::make_unique<TLangManager>();
        lang_->LoadCurrent();
        LangManager = lang_.get();
        InstallDownloaders();
        SetEngineUI(nullptr);
        Main("PulseInterval", "100");
        Main("HTTP.MinRangeSize", "51200");
        Main("HTTP.MaxRangeSize", "204800");
        Main("MaxRetries", "0");
    }
    void TearDown() override {
        jobs_.clear();
        SetEngineUI(nullptr);
        platform::SetTimerMaker({});
        LangManager = previousLang_;
        lang_.reset();
        SettingsFile = nullptr;
        settings_.reset();
    }

    void Main(const std::string& key, const std::string& value) {
        SettingsFile->WriteString("Main", key, value);
    }
    std::string Downloads() const { return dir_.File("downloads"); }

    // A job in a fresh section, not started.
    TJobItem& NewJob(const std::string& url, int sockets = 1) {
        auto job = std::make_unique<TJobItem>(SettingsFile->NewSectionNumber());
        job->WriteString("URL", url);
        job->WriteString("DownloadDirectory", Downloads());
        job->WriteInteger("Sockets", sockets);
        job->WriteInteger("Priority", 3);
        job->WriteBool("InJobList", true);
        jobs_.push_back(std::move(job));
        TJobItem& j = *jobs_.back();
        j.OnChange = [this](TJobItem* item, std::uint8_t code) {
            if (code == ncSucceeded || code == ncFailed) {
                finished_[item] = code;
                // As the job manager does: leave jsDownloading from inside the
                // notification, which destroys the downloader mid-pulse.
                item->SetState(code == ncSucceeded ? jsCompleted : jsFailed);
            }
        };
        return j;
    }

    // Runs the job until its downloader reports; returns the code (-1 on time-out).
    int Run(TJobItem& job, int timeoutMs = 30000) {
        finished_.erase(&job);
        job.SetState(jsDownloading);
        platform::testing::RunUntil([&] { return finished_.count(&job) > 0; }, timeoutMs);
        auto it = finished_.find(&job);
        if (it == finished_.end()) {
            job.SetState(jsStopped);
            return -1;
        }
        return it->second;
    }
    bool Finished(TJobItem& job) const { return finished_.count(&job) > 0; }

    static std::vector<LogLine> Log(TDownloadInfo& job) {
        std::vector<LogLine> out;
        std::int64_t n = job.ReadInteger("LogCount");
        for (std::int64_t i = 1; i <= n; ++i) {
            const std::string p = "Log" + std::to_string(i) + ".";
            out.push_back({int(job.ReadInteger(p + "Type")), job.ReadString(p + "Description"),
                           job.ReadString(p + "Info")});
        }
        return out;
    }
    static bool HasLog(TDownloadInfo& job, const std::string& description,
                       const std::string& infoPart = "") {
        for (const auto& l : Log(job))
            if (l.description == description && l.info.find(infoPart) != std::string::npos)
                return true;
        return false;
    }
    static std::string LogText(TDownloadInfo& job) {
        std::string s;
        for (const auto& l : Log(job))
            s += std::to_string(l.type) + " " + l.description + " " + l.info + "\n";
        return s;
    }
    std::int64_t Stat(const std::string& key) {
        return SettingsFile->ReadInteger("UserStatistics", key, 0);
    }

    platform::testing::TempDir dir_{"vk-engine"};
    std::string program_;
    std::unique_ptr<TDownloaderINIFile> settings_;
    std::unique_ptr<TLangManager> lang_;
    TLangManager* previousLang_ = nullptr;
    std::vector<std::unique_ptr<TJobItem>> jobs_;
    std::map<TJobItem*, int> finished_;
};

} // namespace enginetest
