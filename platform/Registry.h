#pragma once
// The registry: hives of keys holding named string, integer and binary values,
// shared by every program of the user. Each hive is one file in
// RegistryDir(); several processes may read and write it at once.
//
// Names of keys and values are Windows-1252 bytes, compared without regard to
// case (ASCII and the code page's accented letters) and keeping the spelling
// they were created with. The empty value name is the key's default value.
// Listings come sorted by name without regard to case.
//
// Key paths are separated by "\"; a path beginning with "\" starts at the
// hive, any other at the open key (the hive itself while none is open).
// Empty path parts are ignored, so "\SOFTWARE\Maker\" is the key Maker.
//
// Reads always see the last write of any process. A write is complete when it
// returns: it holds the hive's lock, applies the change to the current file
// and replaces the file atomically, so no write is lost and a process killed
// at any moment leaves either the old or the new file.
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

enum class RegistryHive { CurrentUser, LocalMachine, ClassesRoot };
enum class RegistryType { String, Integer, Binary };

// REGISTRY_DIR when set, else $XDG_DATA_HOME/registry, else
// ~/.local/share/registry. Read at every access.
QString RegistryDir();

class Registry {
public:
    explicit Registry(RegistryHive hive = RegistryHive::CurrentUser) : hive_(hive) {}

    RegistryHive Hive() const { return hive_; }
    void SetHive(RegistryHive hive); // closes the open key

    // Opens the key; without canCreate only when it exists. False on failure,
    // the open key then stays as it was.
    bool OpenKey(std::string_view path, bool canCreate);
    void CloseKey();
    // Path of the open key from the hive, as given to OpenKey; empty when none.
    std::string CurrentPath() const;

    bool KeyExists(std::string_view path) const;
    bool CreateKey(std::string_view path);
    // Deletes the key with all its sub-keys and values; false when it does not
    // exist. The hive itself cannot be deleted.
    bool DeleteKey(std::string_view path);
    std::vector<std::string> GetKeyNames() const;
    std::vector<std::string> GetValueNames() const;

    // Reads of the open key. Empty when the value is missing or of another
    // type; ReadBool reads an integer value, non-zero being true.
    bool ValueExists(std::string_view name) const;
    std::optional<RegistryType> GetDataType(std::string_view name) const;
    std::optional<std::string> ReadString(std::string_view name) const;
    std::optional<int32_t> ReadInteger(std::string_view name) const;
    std::optional<bool> ReadBool(std::string_view name) const;
    std::optional<std::string> ReadBinary(std::string_view name) const; // raw bytes

    // Writes to the open key, replacing a value of the same name whatever its
    // type. False when the key no longer exists or the store cannot be
    // written. Booleans are stored as the integers 1 and 0.
    bool WriteString(std::string_view name, std::string_view value);
    bool WriteInteger(std::string_view name, int32_t value);
    bool WriteBool(std::string_view name, bool value);
    bool WriteBinary(std::string_view name, std::string_view bytes);
    // False when the value does not exist.
    bool DeleteValue(std::string_view name);

    // Hand-over of a key between processes, each in one locked step: take the
    // string values `names` of the key at `path` (missing ones as empty) and
    // delete the key; none when the key does not exist.
    std::optional<std::vector<std::string>> TakeKey(std::string_view path,
                                                    const std::vector<std::string>& names);
    // Creates the key at `path` (with missing parents) and writes the string
    // values `values` (name, text) together. With `onlyIfAbsent`, fails and
    // writes nothing when the key exists already.
    bool WriteStrings(std::string_view path,
                      const std::vector<std::pair<std::string, std::string>>& values,
                      bool onlyIfAbsent = false);

private:
    std::vector<std::string> Resolve(std::string_view path) const;
    bool WriteValue(std::string_view name, RegistryType type, std::string data,
                    int32_t integer = 0);

    RegistryHive hive_;
    std::vector<std::string> current_; // parts of the open key's path
};

} // namespace platform
