#include "platform/Registry.h"

#include "platform/RegistryFile.h"

#include <QDir>

namespace platform {

using regfile::Change;
using regfile::Key;

QString RegistryDir() {
    QString dir = qEnvironmentVariable("REGISTRY_DIR");
    if (!dir.isEmpty()) return dir;
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty()) data = QDir::homePath() + "/.local/share";
    return data + "/registry";
}

void Registry::SetHive(RegistryHive hive) {
    hive_ = hive;
    CloseKey();
}

std::vector<std::string> Registry::Resolve(std::string_view path) const {
    std::vector<std::string> parts;
    if (path.empty() || path.front() != '\\') parts = current_;
    for (std::string& part : regfile::SplitPath(path))
        parts.push_back(std::move(part));
    return parts;
}

bool Registry::OpenKey(std::string_view path, bool canCreate) {
    std::vector<std::string> parts = Resolve(path);
    if (canCreate ? !CreateKey(path) : !KeyExists(path)) return false;
    current_ = std::move(parts);
    return true;
}

void Registry::CloseKey() {
    current_.clear();
}

std::string Registry::CurrentPath() const {
    std::string path;
    for (const std::string& part : current_) {
        if (!path.empty()) path += '\\';
        path += part;
    }
    return path;
}

bool Registry::KeyExists(std::string_view path) const {
    auto root = regfile::Load(hive_);
    return root && root->Find(Resolve(path));
}

bool Registry::CreateKey(std::string_view path) {
    std::vector<std::string> parts = Resolve(path);
    if (KeyExists(path)) return true;
    return regfile::Modify(hive_, [&](Key& root) {
        if (root.Find(parts)) return Change::None;
        root.Make(parts);
        return Change::Write;
    });
}

bool Registry::DeleteKey(std::string_view path) {
    std::vector<std::string> parts = Resolve(path);
    if (parts.empty()) return false;
    std::string last = regfile::Fold(parts.back());
    parts.pop_back();
    return regfile::Modify(hive_, [&](Key& root) {
        Key* parent = root.Find(parts);
        if (!parent || parent->keys.erase(last) == 0) return Change::Fail;
        return Change::Write;
    });
}

std::vector<std::string> Registry::GetKeyNames() const {
    std::vector<std::string> names;
    auto root = regfile::Load(hive_);
    if (const Key* k = root ? root->Find(current_) : nullptr)
        for (const auto& [folded, sub] : k->keys)
            names.push_back(sub->name);
    return names;
}

std::vector<std::string> Registry::GetValueNames() const {
    std::vector<std::string> names;
    auto root = regfile::Load(hive_);
    if (const Key* k = root ? root->Find(current_) : nullptr)
        for (const auto& [folded, v] : k->values)
            names.push_back(v.name);
    return names;
}

namespace {

// The value as it is now, copied out of the shared content.
std::optional<regfile::Value> Lookup(RegistryHive hive, const std::vector<std::string>& key,
                                     std::string_view name) {
    auto root = regfile::Load(hive);
    const Key* k = root ? root->Find(key) : nullptr;
    if (!k) return std::nullopt;
    auto it = k->values.find(regfile::Fold(name));
    if (it == k->values.end()) return std::nullopt;
    return it->second;
}

} // namespace

bool Registry::ValueExists(std::string_view name) const {
    return Lookup(hive_, current_, name).has_value();
}

std::optional<RegistryType> Registry::GetDataType(std::string_view name) const {
    auto v = Lookup(hive_, current_, name);
    if (!v) return std::nullopt;
    return v->type;
}

std::optional<std::string> Registry::ReadString(std::string_view name) const {
    auto v = Lookup(hive_, current_, name);
    if (!v || v->type != RegistryType::String) return std::nullopt;
    return std::move(v->data);
}

std::optional<int32_t> Registry::ReadInteger(std::string_view name) const {
    auto v = Lookup(hive_, current_, name);
    if (!v || v->type != RegistryType::Integer) return std::nullopt;
    return v->integer;
}

std::optional<bool> Registry::ReadBool(std::string_view name) const {
    auto v = ReadInteger(name);
    if (!v) return std::nullopt;
    return *v != 0;
}

std::optional<std::string> Registry::ReadBinary(std::string_view name) const {
    auto v = Lookup(hive_, current_, name);
    if (!v || v->type != RegistryType::Binary) return std::nullopt;
    return std::move(v->data);
}

bool Registry::WriteValue(std::string_view name, RegistryType type, std::string data,
                          int32_t integer) {
    return regfile::Modify(hive_, [&](Key& root) {
        Key* k = root.Find(current_);
        if (!k) return Change::Fail;
        regfile::Value& v = k->values[regfile::Fold(name)];
        if (v.name.empty()) v.name = name; // keeps the first spelling
        v.type = type;
        v.data = std::move(data);
        v.integer = integer;
        return Change::Write;
    });
}

bool Registry::WriteString(std::string_view name, std::string_view value) {
    return WriteValue(name, RegistryType::String, std::string(value));
}

bool Registry::WriteInteger(std::string_view name, int32_t value) {
    return WriteValue(name, RegistryType::Integer, {}, value);
}

bool Registry::WriteBool(std::string_view name, bool value) {
    return WriteInteger(name, value);
}

bool Registry::WriteBinary(std::string_view name, std::string_view bytes) {
    return WriteValue(name, RegistryType::Binary, std::string(bytes));
}

bool Registry::DeleteValue(std::string_view name) {
    return regfile::Modify(hive_, [&](Key& root) {
        Key* k = root.Find(current_);
        if (!k || k->values.erase(regfile::Fold(name)) == 0) return Change::Fail;
        return Change::Write;
    });
}

std::optional<std::vector<std::string>> Registry::TakeKey(std::string_view path,
                                                          const std::vector<std::string>& names) {
    std::vector<std::string> parts = Resolve(path);
    if (parts.empty()) return std::nullopt;
    std::string last = regfile::Fold(parts.back());
    parts.pop_back();
    std::optional<std::vector<std::string>> taken;
    const bool stored = regfile::Modify(hive_, [&](Key& root) {
        Key* parent = root.Find(parts);
        if (!parent) return Change::None;
        auto it = parent->keys.find(last);
        if (it == parent->keys.end()) return Change::None;
        std::vector<std::string> texts;
        for (const std::string& name : names) {
            auto v = it->second->values.find(regfile::Fold(name));
            const bool text =
                v != it->second->values.end() && v->second.type == RegistryType::String;
            texts.push_back(text ? v->second.data : std::string());
        }
        parent->keys.erase(it);
        taken = std::move(texts);
        return Change::Write;
    });
    if (!stored) return std::nullopt; // the key stays for the next try
    return taken;
}

bool Registry::WriteStrings(std::string_view path,
                            const std::vector<std::pair<std::string, std::string>>& values,
                            bool onlyIfAbsent) {
    std::vector<std::string> parts = Resolve(path);
    if (parts.empty()) return false;
    return regfile::Modify(hive_, [&](Key& root) {
        if (onlyIfAbsent && root.Find(parts)) return Change::Fail;
        Key& k = root.Make(parts);
        for (const auto& [name, text] : values) {
            regfile::Value& v = k.values[regfile::Fold(name)];
            if (v.name.empty()) v.name = name;
            v.type = RegistryType::String;
            v.data = text;
            v.integer = 0;
        }
        return Change::Write;
    });
}

} // namespace platform
