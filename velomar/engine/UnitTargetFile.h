#pragma once
// The partial file of a download: written in place at byte offsets, so the
// ranges may arrive in any order. Paths are Windows-1252 text.
#include <cstdint>
#include <string>

class TTargetFile {
public:
    TTargetFile() = default;
    ~TTargetFile();
    TTargetFile(const TTargetFile&) = delete;
    TTargetFile& operator=(const TTargetFile&) = delete;

    // Opens an existing file keeping its content, or creates it empty.
    bool Open(const std::string& path, bool create);
    bool IsOpen() const { return fd_ >= 0; }
    void Close();
    // Writes all `count` bytes at `offset`; false on any failure.
    bool WriteAt(std::int64_t offset, const char* data, std::size_t count);
    std::int64_t Size() const;
    bool Truncate(std::int64_t size);

private:
    int fd_ = -1;
};

// File-system helpers over Windows-1252 paths.
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
bool ForceDirectories(const std::string& path);
bool DeleteFileAt(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);
bool SetFileTime(const std::string& path, std::int64_t unixSeconds);
// The first `limit` bytes (all when limit < 0); false when unreadable.
bool ReadFileBytes(const std::string& path, std::string& out, std::int64_t limit = -1);

// The path a download is saved under: `saveAs` when set, otherwise the last
// segment of `location`'s path (a "/" inside the query does not count, and
// "http://host" has no name), "index.html" when that leaves no usable name;
// inside `directory`.
std::string TargetPathFor(const std::string& saveAs, const std::string& location,
                          const std::string& directory);
