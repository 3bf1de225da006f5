#pragma once
// Where the program lives, and the names of the files kept beside it.
#include <string>

namespace platform {

// The executable's own path (UTF-8, as the file system has it), or the value of
// VELOMAR_PROGRAM_PATH when that is set, so tests can place the files anywhere.
std::string ProgramPath();

// The program path with its extension (if any) replaced by `suffix`:
// "/opt/velomar" + ".ini" -> "/opt/velomar.ini"; "/opt/v.exe" + "Log.txt" -> "/opt/vLog.txt".
std::string ChangeProgramExtension(const std::string& programPath, const std::string& suffix);
inline std::string FileBesideProgram(const std::string& suffix) {
    return ChangeProgramExtension(ProgramPath(), suffix);
}

// The folder of the program path, ending with "/".
std::string ProgramFolder();

} // namespace platform
