#pragma once
// The per-job downloader: a pulse-driven state machine that carries one job
// through head phase, range layout, parallel engines and finishing, with
// retries. Protocol work is done by descendants through the virtual slots.
#include "engine/UnitTargetFile.h"
#include "engine/UnitTempInfo.h"
#include "platform/ClientSocket.h"
#include "platform/Timer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TDownloadInfo;
class TDownloader;

enum TPulseState : std::uint8_t {
    psStartup = 0,
    psGetHead = 1,
    psWaitHead = 2,
    psProcessHead = 3,
    psDownload = 4,
    psFinish = 5,
    psSuccess = 6,
    psFail = 7,
    psWaitRetry = 8
};
constexpr int kNextState = 9; // SetState(kNextState) moves to State + 1

// An engine: one client connection fetching the head or one range at a time.
class TGenericDownloaderSocket : public platform::ClientSocket {
public:
    explicit TGenericDownloaderSocket(bool isRange);
    ~TGenericDownloaderSocket() override;

    std::string EngineName; // "Head-<n>" or "Range-<n>", n counting every engine of the run
    bool Busy = false;
    const bool IsRange;
    int RangeIndex = 0;

    TDownloader* Owner = nullptr;
    // Last moment (monotonic ms) the connection was opened, connected or
    // delivered bytes; drives the inactivity limit.
    std::int64_t LastActivityMs = 0;
    // Body bytes written by the current connection.
    std::int64_t ConnectionBytes = 0;
    // The range as handed to the current connection: the next byte to write
    // and the last byte (-1 for the open range of a file of unknown size).
    std::int64_t RangePos = 0;
    std::int64_t RangeEnd = -1;
    // File offset of the next body byte the connection delivers.
    std::int64_t BodyOffset = 0;
};

using TEngineClass = std::function<std::unique_ptr<TGenericDownloaderSocket>(bool isRange)>;
using TFinishEvent = std::function<void(std::uint8_t code)>;
using TContentLines = std::function<void(const std::vector<std::string>& lines)>;

class TDownloader {
public:
    // Seconds without connecting or receiving after which a busy engine fails
    // with 10060.
    static constexpr std::int64_t kInactivityMs = 60000;
    static constexpr int kMaxRedirects = 20;

    TDownloader(TDownloadInfo& job, TFinishEvent onFinish);
    virtual ~TDownloader();
    TDownloader(const TDownloader&) = delete;
    TDownloader& operator=(const TDownloader&) = delete;

    platform::UnixSeconds RetryTime;
    int RetryCount = 0;
    std::unique_ptr<platform::Timer> Timer;
    std::uint8_t State = psStartup;
    TFinishEvent OnFinish;
    TEngineClass EngineClass;
    std::vector<std::unique_ptr<TGenericDownloaderSocket>> Engines;
    std::unique_ptr<TTargetFile> TargetStream;
    TDownloadInfo& Info;
    std::unique_ptr<TTempInfo> TempInfo;
    bool NoRetry = false;
    TContentLines OnContent;

    // Slots 0 to 6.
    virtual void ParseURL();
    virtual void SetupConnection();
    virtual bool CheckHead();
    virtual bool AcceptDownload();
    virtual void PrepareEngine(TGenericDownloaderSocket& engine) = 0;
    virtual void EngineRead(TGenericDownloaderSocket& engine) = 0;
    virtual void EngineWrite(TGenericDownloaderSocket& engine) = 0;
    // Whether this downloader speaks the scheme of the address being fetched
    // (a redirect or a new link may lead elsewhere).
    virtual bool SpeaksProtocol(const std::string& protocol) const;

    // kNextState means State + 1. A change brings the next pulse forward.
    void SetState(int value);
    void Pulse();

    // Ranges, engines and the target file.
    std::string TargetPath();
    void OpenTarget();
    void ProcessHead();
    bool ReleaseProgressRanges();
    void StartHead();
    void CreateEngines();
    void ConfigureEngine(TGenericDownloaderSocket& engine);
    void Step();
    int AssignRange(TGenericDownloaderSocket& engine);
    bool RecordReceived(int range, std::int64_t count);
    void ClearProgressKeys();
    void FinishFile();
    void UpdateStatistics();

    void EngineConnected(TGenericDownloaderSocket& engine);
    void EngineDisconnected(TGenericDownloaderSocket& engine);
    void EngineError(TGenericDownloaderSocket& engine, int& errorCode);

    // Writes body bytes at the engine's BodyOffset into the partial file,
    // keeping only what lies inside [RangePos, RangeEnd]; advances BodyOffset
    // and RangePos. Returns the bytes written (-1 after a write failure, which
    // fails the attempt). The caller accounts them with RecordReceived.
    std::int64_t WriteBody(TGenericDownloaderSocket& engine, const char* data, std::size_t count);
    // The engine's range has every byte it asked for.
    static bool RangeFilled(const TGenericDownloaderSocket& engine) {
        return engine.RangeEnd >= 0 && engine.RangePos > engine.RangeEnd;
    }

    // Names of the job keys of range N.
    struct TRangeKeys {
        std::string Start, Position, End, Status;
    };
    const TRangeKeys& RangeKeys(int n);
    // Every byte of the range is in the file (its Position passed its End).
    bool RangeWritten(const TRangeKeys& keys);

    // Fails the attempt with a job-log entry (ltError, "Error", info).
    void FailAttempt(const std::string& info);

    // The head phase found that the server ignores range requests it
    // announced: later attempts fetch the whole file without ranges.
    bool RangesRefused = false;

protected:
    // One function per pulse state; each returns false when the pulse must
    // stay stopped (the downloader may then already be destroyed).
    bool DoStartup();
    bool DoGetHead();
    bool DoWaitHead();
    bool DoProcessHead();
    bool DoDownload();
    bool DoFinish();
    bool DoSuccess();
    bool DoFail();
    bool DoWaitRetry();

    // Busy engines silent for kInactivityMs fail with 10060; true if one did.
    bool CheckInactivity();
    void DropEngines();
    std::int64_t NowMs() const;
    void Finish(std::uint8_t code); // calls OnFinish; the downloader may be gone after it
    void ReportStep(const char* text);

    std::int64_t retryAtMs_ = 0;

    int redirects_ = 0;   // followed in this attempt
    int emptyCloses_ = 0; // range connections in a row that ended without data
    std::vector<TRangeKeys> rangeKeys_;
    std::shared_ptr<bool> alive_;
};

// Writes the debug-log line only while logging is on; the text is built only then.
bool LogEnabled();
