#include "engine/UnitDownloaderFactory.h"

#include "engine/UnitDownloaderHTTP.h"
#include "storage/UnitJobItem.h"

void InstallDownloaders() {
    SetDownloaderFactory([](TJobItem& job, const std::string& url) -> std::unique_ptr<TDownloader> {
        if (url.compare(0, 7, "http://") != 0) return nullptr;
        TJobItem* item = &job;
        auto d = std::make_unique<THTTPDownloader>(
            job, [item](std::uint8_t code) { item->NotifyOwner(code); });
        if (job.OnContent) {
            TContentEvent content = job.OnContent;
            d->OnContent = [content](const std::vector<std::string>& lines) { content(lines); };
        }
        return d;
    });
}
