#include "platform/ProgramPath.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace platform {

std::string ProgramPath() {
    if (const char* p = std::getenv("VELOMAR_PROGRAM_PATH"); p && *p) return p;
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

std::string ChangeProgramExtension(const std::string& programPath, const std::string& suffix) {
    auto slash = programPath.find_last_of('/');
    auto dot = programPath.find_last_of('.');
    std::string stem = programPath;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1))
        stem = programPath.substr(0, dot);
    return stem + suffix;
}

std::string ProgramFolder() {
    std::string p = ProgramPath();
    auto slash = p.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : p.substr(0, slash + 1);
}

} // namespace platform
