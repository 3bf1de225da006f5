#pragma once
// The temp info of a download attempt: name=value text, names compared
// without regard to case, an absent name reading as empty.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct TNoCaseLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

class TTempInfo {
public:
    const std::string& Get(std::string_view name) const;
    void Set(std::string_view name, std::string value);
    bool Is(std::string_view name, std::string_view value) const { return Get(name) == value; }
    // Decimal value; 0 when absent or not a number.
    std::int64_t GetInt(std::string_view name) const;
    void SetInt(std::string_view name, std::int64_t value);
    void AddInt(std::string_view name, std::int64_t amount) { SetInt(name, GetInt(name) + amount); }
    void Remove(std::string_view name);
    // "name=value" lines in name order.
    std::string Text() const;

private:
    std::map<std::string, std::string, TNoCaseLess> values_;
};
