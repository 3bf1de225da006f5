#include "engine/UnitTempInfo.h"

#include <charconv>

namespace {
char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}
const std::string kEmpty;
} // namespace

bool TNoCaseLess::operator()(std::string_view a, std::string_view b) const {
    std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        char x = Lower(a[i]), y = Lower(b[i]);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

const std::string& TTempInfo::Get(std::string_view name) const {
    auto it = values_.find(name);
    return it == values_.end() ? kEmpty : it->second;
}

void TTempInfo::Set(std::string_view name, std::string value) {
    auto it = values_.find(name);
    if (it == values_.end())
        values_.emplace(std::string(name), std::move(value));
    else
        it->second = std::move(value);
}

std::int64_t TTempInfo::GetInt(std::string_view name) const {
    const std::string& v = Get(name);
    std::int64_t out = 0;
    auto r = std::from_chars(v.data(), v.data() + v.size(), out);
    if (r.ec != std::errc() || r.ptr != v.data() + v.size()) return 0;
    return out;
}

void TTempInfo::SetInt(std::string_view name, std::int64_t value) {
    auto it = values_.find(name);
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    if (it == values_.end())
        values_.emplace(std::string(name), std::string(buf, r.ptr));
    else
        it->second.assign(buf, r.ptr); // reuses the value's storage
}

void TTempInfo::Remove(std::string_view name) {
    auto it = values_.find(name);
    if (it != values_.end()) values_.erase(it);
}

std::string TTempInfo::Text() const {
    std::string out;
    for (const auto& [k, v] : values_) {
        out += k;
        out += '=';
        out += v;
        out += "\r\n";
    }
    return out;
}
