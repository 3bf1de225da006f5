#pragma once
// Per-user runtime folder and the instance marker: a lock that exists exactly
// while the process that created it runs. The system drops it when the
// process ends, however it ends, so a crash never leaves a stale marker.
#include <string>

namespace platform {

// $XDG_RUNTIME_DIR when it names a folder, else /tmp/runtime-<uid> (created,
// private to the user). Read at every call.
std::string RuntimeDir();

// A file name made of letters, digits, "-" and "_" only: every other byte of
// `name` becomes "_".
std::string SafeFileName(const std::string& name);

enum class MarkerResult {
    Created,       // this process holds the marker now, until it ends
    AlreadyExists, // another running process holds it
    Failed         // the marker could not be made at all
};

// Takes the marker named `name` in RuntimeDir(). Holding it twice in one
// process gives Created again.
MarkerResult CreateInstanceMarker(const std::string& name);

} // namespace platform
