#include "platform/InstanceLock.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::string RuntimeDir() {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    struct stat st = {};
    if (xdg && *xdg && ::stat(xdg, &st) == 0 && S_ISDIR(st.st_mode)) return xdg;
    std::string dir = "/tmp/runtime-" + std::to_string(::getuid());
    ::mkdir(dir.c_str(), 0700);
    return dir;
}

std::string SafeFileName(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool ok = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') ||
                        (u >= 'a' && u <= 'z') || u == '-' || u == '_';
        if (!ok) c = '_';
    }
    return out;
}

MarkerResult CreateInstanceMarker(const std::string& name) {
    static std::map<std::string, int> held; // path -> descriptor kept open
    const std::string path = RuntimeDir() + "/" + SafeFileName(name) + ".lock";
    if (held.count(path)) return MarkerResult::Created;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return MarkerResult::Failed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? MarkerResult::AlreadyExists : MarkerResult::Failed;
    }
    held[path] = fd;
    return MarkerResult::Created;
}

} // namespace platform
