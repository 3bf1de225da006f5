#pragma once
// The hive files behind Registry: their text form, a per-process cache of the
// parsed content and the locked replace that every write goes through.
//
// Files in RegistryDir(), per hive (HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
// HKEY_CLASSES_ROOT): <hive>.hive the content, <hive>.lock taken with flock
// by writers, <hive>.tmp the next content until it is renamed over the hive.
//
// Hive file (ASCII, one record a line, fields separated by one blank):
//   registry 1
//   K <key path>                  every key, parents before children
//   S <name> <text>               string value of the key above
//   I <name> <decimal>            32-bit integer value
//   B <name> <hex>|-              binary value ("-" when empty)
// Paths, names and texts are escaped: bytes up to 0x20, from 0x7F and "%"
// as %XX; an empty field is a lone "%". A key path joins the key names from
// the hive with "\". Lines that do not parse are skipped.
#include "platform/Registry.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace platform::regfile {

struct Value {
    std::string name;
    RegistryType type = RegistryType::String;
    std::string data; // string or binary bytes
    int32_t integer = 0;
};

struct Key {
    std::string name;
    std::map<std::string, Value> values;              // by folded name
    std::map<std::string, std::unique_ptr<Key>> keys; // by folded name

    const Key* Find(const std::vector<std::string>& path) const;
    Key* Find(const std::vector<std::string>& path);
    Key& Make(const std::vector<std::string>& path); // creates what is missing
};

// Case folding used for every name comparison.
std::string Fold(std::string_view name);
// The names of a "\"-separated key path, empty parts left out.
std::vector<std::string> SplitPath(std::string_view path);

std::string Serialize(const Key& root);
std::unique_ptr<Key> Parse(std::string_view text);
std::unique_ptr<Key> Clone(const Key& key);

// The hive as it is now; null when its file exists but cannot be read.
std::shared_ptr<const Key> Load(RegistryHive hive);

enum class Change { None, Write, Fail };
// Runs change on the current content under the hive's exclusive lock and, on
// Change::Write, replaces the file. True unless change failed or the store
// could not be read or written.
bool Modify(RegistryHive hive, const std::function<Change(Key& root)>& change);

} // namespace platform::regfile
