#pragma once
// A fresh folder under the system's temp folder, removed with everything in it
// when the object goes.
#include <string>

namespace platform::testing {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "vk");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Without a trailing "/".
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes `content` to `path`, creating missing folders.
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);

// A TCP port on 127.0.0.1 that was free a moment ago (the kernel's choice).
int FreePort();

} // namespace platform::testing
