#pragma once
// Language files as lines of Windows-1252 bytes, read and written byte for
// byte, and the few INI-style edits the language manager makes on them.
#include <string>
#include <vector>

// ASCII letters compared without regard to case; other bytes must be equal.
bool SameText(const std::string& a, const std::string& b);
// Without the surrounding bytes up to and including the blank.
std::string TrimBlanks(const std::string& s);

// Splits at CR LF, LF or CR; a final line break does not start another line.
std::vector<std::string> SplitLines(const std::string& text);

// The whole file as lines; false when it is missing or unreadable.
bool ReadLines(const std::string& path, std::vector<std::string>& lines);
// Each line followed by CR LF. Written under a temporary name and renamed over
// `path`, so a failed or interrupted write leaves the old file as it was.
bool WriteLines(const std::string& path, const std::vector<std::string>& lines);

// INI reading of section "Glossary" in `lines`: the first value of `key`,
// trimmed; empty when absent.
std::string GlossaryValue(const std::vector<std::string>& lines, const std::string& key);
// Sets `key` in section "Glossary" as an INI writer does: the first line of
// the key is replaced, keeping its spelling; an absent key is added after the
// section's last non-blank line, an absent section at the end.
void SetGlossaryValue(std::vector<std::string>& lines, const std::string& key,
                      const std::string& value);
