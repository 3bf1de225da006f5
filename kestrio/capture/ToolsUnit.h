#pragma once
// URL helpers of the page saver, the options record and the text globals of
// one save. Every helper works on Windows-1252 bytes, compares bytes exactly
// unless said otherwise and accepts any input, the empty string included.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace kestrio {

struct TOptions {
    struct TGeneral {
        std::string DestinationFolder;
        bool CreateSubFolder = false;
        bool ShowPictures = false;
        int32_t URLW = 0; // column widths in pixels, 0 meaning 200
        int32_t TextW = 0;
    } General;
    struct TAdvanced {
        bool NotExtPic = false;
        bool NotKeyPic = false;
        std::string KeyWords;   // blank-separated
        std::string Extensions; // blank-separated, without "."
        // 0 download like any other link, 1 hand to the browser, 2 skip.
        int32_t DoWithExtensions = 0;
    } Advanced;
};

// The options in force (loaded and stored by the save dialog).
extern TOptions Options;
// The page's address and title without surrounding blanks, and the folder the
// save writes into, ending with "/".
extern std::string BaseURL;
extern std::string PageTitle;
extern std::string DestDir;

struct TSplitURL {
    std::string Root;      // scheme and host through the first "/": http://host/
    std::string Directory; // between the first and the last "/", the last included
    std::string FileName;  // after the last "/", query included
};

std::string StripFragment(std::string_view u);
std::string GetFragment(std::string_view u);
TSplitURL SplitURL(std::string_view u);
std::string GetRoot(std::string_view u);
std::string GetDirectory(std::string_view u);
std::string GetFileName(std::string_view u);
// The extension (without ".") of the last path segment, query included; a
// name without any "/" counts as a file name of its own.
std::string GetExtension(std::string_view u);
std::string ResolveURL(std::string_view base, std::string_view ref);
std::string CleanValue(std::string_view v);
bool IsNotMailto(std::string_view u);
// Keeps the blank, "-", "_", ASCII letters and digits and the bytes 192..255.
std::string TitleToFolderName(std::string_view title);

// ASCII letters only; other bytes stay.
std::string LowerASCII(std::string_view s);

// A file created anew (a file of the same name is replaced), written in
// pieces. The path is Windows-1252 and reaches the file system as UTF-8.
// Failures throw EInOutError naming the file.
class TFileWriter {
public:
    explicit TFileWriter(const std::string& path);
    ~TFileWriter(); // closes without reporting; call Close to learn of errors
    TFileWriter(const TFileWriter&) = delete;
    TFileWriter& operator=(const TFileWriter&) = delete;

    void Write(std::string_view bytes);
    void Close();

private:
    std::string path_;
    std::FILE* file_;
};

void WriteNewFile(const std::string& path, std::string_view bytes);
// Removes a file; a failure is ignored.
void DeleteFileQuietly(const std::string& path);

} // namespace kestrio
