#pragma once
// The per-job downloader. (Being built: only the ownership contract so far.)
class TDownloader {
public:
    virtual ~TDownloader();
};
