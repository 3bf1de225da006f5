#include "desktop/UnitStart.h"

#include "engine/UnitDownloaderFactory.h"
#include "i18n/UnitLanguageManagement.h"
#include "jobs/UnitJobManagement.h"
#include "platform/ProgramPath.h"
#include "storage/UnitLogFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

void StartModules() {
    StartLogFile();
    LangManager = new TLangManager();
    InstallDownloaders(); // before the first queue pass starts any job
    StartJobManagement();
}

void StopModules() {
    StopJobManagement();
    delete LangManager;
    LangManager = nullptr;
}

bool LockSettingsInstance() {
    const std::string path = platform::FileBesideProgram(".lock");
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return true; // an unwritable folder: behave as the only instance
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    return true; // fd stays open for the life of the process
}
