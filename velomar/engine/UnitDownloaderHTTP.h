#pragma once
// The downloader for "http://" jobs and its HTTP/1.0 engine: HEAD on the head
// engine, ranged GETs on the range engines, Basic authentication and the
// check of a finished page for a link to the real file.
#include "engine/UnitDownloader.h"

#include <string>

// Where an engine's exchange stands; each phase has its reader.
enum THTTPPhase : std::uint8_t {
    hpRequest, // prepared, the request not yet sent
    hpHeader,  // sent; collecting the header
    hpBody,    // a range engine writing its body
    hpDiscard  // nothing more to use from this connection
};

class THTTPDownloaderSocket : public TGenericDownloaderSocket {
public:
    explicit THTTPDownloaderSocket(bool isRange);

    std::string Request;    // rebuilt by PrepareEngine
    std::string HeaderText; // status line and header lines
    std::string Received;   // bytes not yet consumed (the header while it is incomplete)
    bool HeaderDone = false;
    bool RangeSent = false; // the request carried a Range header
    THTTPPhase Phase = hpRequest;
};

class THTTPDownloader : public TDownloader {
public:
    // Largest header we wait for before giving up on a server.
    static constexpr std::size_t kMaxHeader = 64 * 1024;
    // Piece size of socket reads and file writes.
    static constexpr std::size_t kReadPiece = 64 * 1024;

    THTTPDownloader(TDownloadInfo& job, TFinishEvent onFinish);

    void ParseURL() override;
    bool CheckHead() override;
    bool AcceptDownload() override;
    void PrepareEngine(TGenericDownloaderSocket& engine) override;
    void EngineRead(TGenericDownloaderSocket& engine) override;
    void EngineWrite(TGenericDownloaderSocket& engine) override;
    bool SpeaksProtocol(const std::string& protocol) const override;

    void ProcessHeader();
    bool AskCredentials();
    std::string FindNewLink();

private:
    // Checks the status of a range answer; false when its body must not be
    // written (the attempt has then been failed or restarted).
    bool AcceptRangeAnswer(THTTPDownloaderSocket& engine);
    void ReadHeader(THTTPDownloaderSocket& engine, std::int64_t waiting);
    void Discard(THTTPDownloaderSocket& engine, std::int64_t waiting);
    // Reads up to `waiting` bytes into the range; `batch` bytes were already
    // written in this event. One RecordReceived accounts the whole event.
    void ReadBody(THTTPDownloaderSocket& engine, std::int64_t waiting, std::int64_t batch);

    std::string buffer_; // reusable read buffer shared by the engines
    int newLinks_ = 0;   // finished pages replaced by a link they hold
};

// Kept for callers that name the encoder of this module.
std::string BasicCredentials(const std::string& user, const std::string& password);
