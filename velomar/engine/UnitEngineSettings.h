#pragma once
// Settings of section Main as the engine reads them: every time, each reader
// passing its own default.
#include "storage/UnitLogFiles.h"

#include <cstdint>
#include <string>

inline bool MainBool(const std::string& key, bool def) {
    return SettingsFile ? SettingsFile->ReadBool("Main", key, def) : def;
}
inline std::int64_t MainInt(const std::string& key, std::int64_t def) {
    return SettingsFile ? SettingsFile->ReadInteger("Main", key, def) : def;
}
inline std::string MainString(const std::string& key, const std::string& def) {
    return SettingsFile ? SettingsFile->ReadString("Main", key, def) : def;
}
inline void AddStat(const std::string& key, std::int64_t amount) {
    if (SettingsFile) SettingsFile->AddStatistic(key, amount);
}
