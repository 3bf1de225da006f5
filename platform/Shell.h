#pragma once
// Shell execution over the desktop's file associations (the XDG mimeapps.list
// and .desktop files). Paths and arguments are UTF-8.
#include <string>
#include <vector>

namespace platform {

// The command of the program that opens files like `path` (chosen by the
// file's content type, for an existing file, or by its name): the program
// followed by the fixed words of its Exec line, without field codes. Empty
// when no program is associated.
std::vector<std::string> FindExecutable(const std::string& path);

// Starts `command` followed by `args`, detached, in `workingDir` (empty: the
// current folder). True when the program started.
bool StartProgram(std::vector<std::string> command, const std::vector<std::string>& args,
                  const std::string& workingDir = "");

// "open": `file` with its associated program, in `workingDir`.
bool ShellOpen(const std::string& file, const std::string& workingDir = "");
// "explore": `folder` in the program associated with folders.
bool ShellExplore(const std::string& folder);

} // namespace platform
