#include "engine/UnitTargetFile.h"

#include "platform/Cp1252.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {
std::string Native(const std::string& path) {
    return platform::Cp1252ToUtf8(path);
}
} // namespace

TTargetFile::~TTargetFile() {
    Close();
}

bool TTargetFile::Open(const std::string& path, bool create) {
    Close();
    int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0);
    fd_ = ::open(Native(path).c_str(), flags, 0644);
    return fd_ >= 0;
}

void TTargetFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool TTargetFile::WriteAt(std::int64_t offset, const char* data, std::size_t count) {
    if (fd_ < 0 || offset < 0) return false;
    while (count > 0) {
        ssize_t n = ::pwrite(fd_, data, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        count -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

std::int64_t TTargetFile::Size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return st.st_size;
}

bool TTargetFile::Truncate(std::int64_t size) {
    return fd_ >= 0 && ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(Native(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return ::stat(Native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& path) {
    std::string p = Native(path);
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    if (p.empty()) return false;
    for (std::size_t i = 1; i <= p.size(); ++i) {
        if (i < p.size() && p[i] != '/') continue;
        std::string part = p.substr(0, i);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFileAt(const std::string& path) {
    return ::unlink(Native(path).c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
    return ::rename(Native(from).c_str(), Native(to).c_str()) == 0;
}

bool SetFileTime(const std::string& path, std::int64_t unixSeconds) {
    struct timespec ts[2];
    ts[0].tv_sec = ts[1].tv_sec = static_cast<time_t>(unixSeconds);
    ts[0].tv_nsec = ts[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, Native(path).c_str(), ts, 0) == 0;
}

bool ReadFileBytes(const std::string& path, std::string& out, std::int64_t limit) {
    out.clear();
    int fd = ::open(Native(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[65536];
    while (limit < 0 || static_cast<std::int64_t>(out.size()) < limit) {
        std::size_t want = sizeof buf;
        if (limit >= 0) want = std::min<std::size_t>(want, std::size_t(limit) - out.size());
        ssize_t n = ::read(fd, buf, want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

std::string TargetPathFor(const std::string& saveAs, const std::string& location,
                          const std::string& directory) {
    std::string name = saveAs;
    if (name.empty()) {
        // Neither the query nor the fragment is part of the file's name.
        const std::string loc = location.substr(0, location.find_first_of("?#"));
        const std::size_t sch = loc.find("://");
        if (loc.find('/', sch == std::string::npos ? 0 : sch + 3) != std::string::npos)
            name = loc.substr(loc.rfind('/') + 1);
    }
    if (const std::size_t q = name.find('?'); q != std::string::npos) name.erase(q);
    if (name.empty() || name == "." || name == "..") name = "index.html";
    std::string dir = directory;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir + name;
}
