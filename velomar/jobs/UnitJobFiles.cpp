#include "jobs/UnitJobFiles.h"

#include "engine/UnitDownloader.h"
#include "engine/UnitTargetFile.h"
#include "storage/UnitJobItem.h"
#include "storage/UnitLogFiles.h"

std::string JobTargetFileName(TJobItem& job) {
    std::string name = job.ReadString("Download.TargetFileName");
    if (!name.empty()) return name;
    if (job.Downloader) return job.Downloader->TargetPath();
    // As the engine names it when no redirection gave another location.
    name = job.ReadString("SaveAs");
    if (name.empty()) {
        std::string loc = job.ReadString("URL");
        loc = loc.substr(0, loc.find('?'));
        const std::size_t sch = loc.find("://");
        if (loc.find('/', sch == std::string::npos ? 0 : sch + 3) != std::string::npos)
            name = loc.substr(loc.rfind('/') + 1);
    }
    if (const std::size_t q = name.find('?'); q != std::string::npos) name.erase(q);
    if (name.empty() || name == "." || name == "..") name = "index.html";
    std::string dir = job.ReadString("DownloadDirectory");
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir + name;
}

void DeleteJobFiles(TJobItem& job, bool deleteFile, bool deletePartialFile) {
    const std::string name = JobTargetFileName(job);
    WriteLog("Deleting JobFileName=" + name);
    if (deleteFile)
        WriteLog(DeleteFileAt(name) ? "Complete deleted." : "Complete deletion failed.");
    if (deletePartialFile)
        WriteLog(DeleteFileAt(name + "._") ? "Partial deleted." : "Partial deletion failed.");
}
