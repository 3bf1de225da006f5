#pragma once
// The files of a job on disk, for the delete flow.
#include <string>

class TJobItem;

// The full path of the job's target file: "Download.TargetFileName" once a
// download finished; before that the name the engine gives it ("SaveAs", or
// the URL's last path segment, in "DownloadDirectory"), so that an unfinished
// job's partial file ("<target>._") is found too.
std::string JobTargetFileName(TJobItem& job);

// Deletes the job's files as asked, logging each step to the debug log:
// "Deleting JobFileName=<name>", then "Complete deleted."/"Complete deletion
// failed." and "Partial deleted."/"Partial deletion failed.". Never fails.
void DeleteJobFiles(TJobItem& job, bool deleteFile, bool deletePartialFile);
