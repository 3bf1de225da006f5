#include "ToolsUnit.h"

#include "InOutError.h"
#include "platform/Cp1252.h"

#include <cerrno>
#include <cstring>

namespace kestrio {

TOptions Options;
std::string BaseURL;
std::string PageTitle;
std::string DestDir;

namespace {

constexpr size_t npos = std::string_view::npos;

size_t ScanStart(std::string_view u) {
    size_t p = u.find("://");
    return p == npos ? 0 : p + 3;
}

} // namespace

std::string LowerASCII(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    return r;
}

std::string StripFragment(std::string_view u) {
    return std::string(u.substr(0, u.find('#')));
}

std::string GetFragment(std::string_view u) {
    size_t p = u.find('#');
    return p == npos ? std::string() : std::string(u.substr(p));
}

TSplitURL SplitURL(std::string_view u) {
    const size_t start = ScanStart(u);
    const size_t first = u.find('/', start);
    if (first == npos) return {std::string(), std::string(u), std::string()};
    const size_t last = u.rfind('/');
    return {std::string(u.substr(0, first + 1)), std::string(u.substr(first + 1, last - first)),
            std::string(u.substr(last + 1))};
}

std::string GetRoot(std::string_view u) {
    return SplitURL(u).Root;
}

std::string GetDirectory(std::string_view u) {
    TSplitURL s = SplitURL(u);
    return s.Root + s.Directory;
}

std::string GetFileName(std::string_view u) {
    return SplitURL(u).FileName;
}

std::string GetExtension(std::string_view u) {
    std::string_view file;
    if (u.find('/', ScanStart(u)) != npos)
        file = u.substr(u.rfind('/') + 1);
    else if (u.find("://") == npos)
        file = u; // a bare file name
    // else a host without a path: no file part
    const size_t dot = file.rfind('.');
    if (dot == npos || file.find_first_of("\\:", dot) != npos) return std::string();
    return std::string(file.substr(dot + 1));
}

std::string ResolveURL(std::string_view baseIn, std::string_view refIn) {
    std::string base(baseIn), ref(refIn);
    for (char& c : base)
        if (c == '\\') c = '/';
    for (char& c : ref)
        if (c == '\\') c = '/';
    if (ref.find("://") != npos) return ref;
    // A base that names only a host stands for the host's root: without the
    // "/" the host would run into the reference (http://h + x -> http://hx).
    // The "/" goes where the host ends, before a query or fragment.
    if (base.find("://") != npos && base.find('/', ScanStart(base)) == npos) {
        const size_t hostEnd = base.find_first_of("?#", ScanStart(base));
        base.insert(hostEnd == npos ? base.size() : hostEnd, 1, '/');
    }

    std::string result;
    std::string_view rest(ref);
    if (!rest.empty() && rest[0] == '/') {
        result = GetRoot(base);
        rest.remove_prefix(1);
    } else {
        result = GetDirectory(base);
    }
    for (;;) {
        const size_t slash = rest.find('/');
        if (slash == npos) break;
        std::string_view segment = rest.substr(0, slash + 1);
        rest.remove_prefix(slash + 1);
        if (segment == "../") {
            if (!result.empty() && result.back() == '/') result.pop_back();
            const size_t keep = result.rfind('/');
            result.resize(keep == npos ? 0 : keep + 1);
        } else {
            result += segment;
        }
    }
    result += rest;
    return result;
}

std::string CleanValue(std::string_view v) {
    std::string r;
    r.reserve(v.size());
    for (char c : v)
        if (c != '\t' && c != '\n' && c != '\r') r += c;
    if (!r.empty() && (r.front() == '"' || r.front() == '\'')) r.erase(0, 1);
    if (!r.empty() && (r.back() == '"' || r.back() == '\'')) r.pop_back();
    return r;
}

bool IsNotMailto(std::string_view u) {
    return LowerASCII(u).find("mailto:") == npos;
}

std::string TitleToFolderName(std::string_view title) {
    std::string r;
    for (char ch : title) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == ' ' || c == '-' || c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
            (c >= 'a' && c <= 'z') || c >= 192)
            r += ch;
    }
    return r;
}

namespace {

EInOutError FileError(const char* what, const std::string& path, int err) {
    return EInOutError(std::string(what) + " \"" + path + "\": " + std::strerror(err));
}

} // namespace

TFileWriter::TFileWriter(const std::string& path)
    : path_(path), file_(std::fopen(platform::Cp1252ToUtf8(path).c_str(), "wb")) {
    if (!file_) throw FileError("Cannot create file", path_, errno);
}

TFileWriter::~TFileWriter() {
    if (file_) std::fclose(file_);
}

void TFileWriter::Write(std::string_view bytes) {
    if (!file_) throw FileError("Cannot write file", path_, EBADF);
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        throw FileError("Cannot write file", path_, errno);
}

void TFileWriter::Close() {
    if (!file_) return;
    std::FILE* f = file_;
    file_ = nullptr;
    const bool failed = std::ferror(f) != 0;
    errno = 0;
    const int rc = std::fclose(f); // flushes: a full disk shows here
    const int err = errno;
    if (rc != 0 || failed) throw FileError("Cannot write file", path_, err ? err : EIO);
}

void WriteNewFile(const std::string& path, std::string_view bytes) {
    TFileWriter out(path);
    out.Write(bytes);
    out.Close();
}

void DeleteFileQuietly(const std::string& path) {
    std::remove(platform::Cp1252ToUtf8(path).c_str());
}

} // namespace kestrio
