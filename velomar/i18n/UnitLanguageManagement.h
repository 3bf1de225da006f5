#pragma once
// Every user-visible text by key. (Being built: lookup entry only so far.)
#include <string>

// The text of `key` in the static text or the current language; empty if none.
std::string LangText(const std::string& key);
