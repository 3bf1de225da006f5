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
    return TargetPathFor(job.ReadString("SaveAs"), job.ReadString("URL"),
                         job.ReadString("DownloadDirectory"));
}

void DeleteJobFiles(TJobItem& job, bool deleteFile, bool deletePartialFile) {
    const std::string name = JobTargetFileName(job);
    WriteLog("Deleting JobFileName=" + name);
    if (deleteFile)
        WriteLog(DeleteFileAt(name) ? "Complete deleted." : "Complete deletion failed.");
    if (deletePartialFile)
        WriteLog(DeleteFileAt(name + "._") ? "Partial deleted." : "Partial deletion failed.");
}
