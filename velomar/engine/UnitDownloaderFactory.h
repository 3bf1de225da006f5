#pragma once
// Installs the job item's downloader factory: "http://" jobs get a
// THTTPDownloader wired to the item's NotifyOwner and OnContent; any other
// address gets none (the item then stops the job as an unknown protocol).
void InstallDownloaders();
