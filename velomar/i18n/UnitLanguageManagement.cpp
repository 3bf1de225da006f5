#include "i18n/UnitLanguageManagement.h"

#include "i18n/UnitBuiltInTexts.h"
#include "i18n/UnitLanguageFiles.h"
#include "platform/IniFile.h"
#include "platform/ProgramPath.h"
#include "storage/UnitLogFiles.h"

#include <cstdio>
#include <sys/stat.h>

namespace {

constexpr const char* kLanguages = "Languages";
constexpr const char* kGlossary = "Glossary";

// Section "Languages" of the settings file; without a settings file every
// value reads as absent and writes go nowhere.
std::int64_t ReadLangInt(const char* key) {
    return SettingsFile ? SettingsFile->ReadInteger(kLanguages, key, 0) : 0;
}
void WriteLangInt(const char* key, std::int64_t value) {
    if (SettingsFile) SettingsFile->WriteInteger(kLanguages, key, value);
}
std::string ReadLangPath(int number) {
    return SettingsFile ? SettingsFile->ReadString(kLanguages, std::to_string(number), "")
                        : std::string();
}
void WriteLangPath(int number, const std::string& path) {
    if (SettingsFile) SettingsFile->WriteString(kLanguages, std::to_string(number), path);
}

bool FileExists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

// Changes whenever the file is replaced or rewritten; empty when it is missing.
std::string FileStamp(const std::string& path) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return {};
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
           std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec);
}

TTranslationEditor& InstalledEditor() {
    static TTranslationEditor editor;
    return editor;
}

} // namespace

// ---- sources

TTextLangSource::TTextLangSource(int index, const std::string& text)
    : TLangSource(index), lines_(SplitLines(text)) {}

std::string TTextLangSource::GetText(const std::string& key) const {
    for (const auto& line : lines_) {
        auto eq = line.find('=');
        if (eq != std::string::npos && eq == key.size() && SameText(line.substr(0, eq), key))
            return line.substr(eq + 1);
    }
    return {};
}

bool TTextLangSource::SaveToFile(const std::string& path) const {
    return WriteLines(path, lines_);
}

TIniLangSource::TIniLangSource(int index, const std::string& path)
    : TLangSource(index), path_(path) {
    Refresh();
}

TIniLangSource::~TIniLangSource() = default;

void TIniLangSource::Refresh() const {
    std::string stamp = FileStamp(path_);
    if (ini_ && stamp == stamp_) return;
    stamp_ = stamp;
    ini_.reset();
    if (!stamp.empty())
        ini_ = std::make_unique<platform::IniFile>(path_, platform::IniFile::Mode::ReadOnly);
}

std::string TIniLangSource::GetText(const std::string& key) const {
    Refresh();
    return ini_ ? TrimBlanks(ini_->ReadString(kGlossary, key, "")) : std::string();
}

bool TIniLangSource::SaveToFile(const std::string& path) const {
    std::vector<std::string> lines;
    return ReadLines(path_, lines) && WriteLines(path, lines);
}

void SetTranslationEditor(TTranslationEditor editor) {
    InstalledEditor() = std::move(editor);
}

// ---- manager

TLangManager::TLangManager() : TLangManager(BuiltInStaticText()) {}

TLangManager::TLangManager(const std::string& staticText) : static_(0, staticText) {}

TLangManager::~TLangManager() = default;

std::string TLangManager::GetText(const std::string& key) const {
    if (auto s = static_.GetText(caption_ + "." + key); !s.empty()) return s;
    if (auto s = static_.GetText("General." + key); !s.empty()) return s;
    return current_ ? current_->GetText(key) : std::string();
}

int TLangManager::LanguageCount() const {
    return static_cast<int>(ReadLangInt("Count"));
}

std::unique_ptr<TLangSource> TLangManager::CreateSource(int index) const {
    if (index == -2) return std::make_unique<TTextLangSource>(index, BuiltInEnglishText());
    if (index == -1 || index == 0)
        return std::make_unique<TTextLangSource>(index, BuiltInPortugueseText());
    return std::make_unique<TIniLangSource>(index, ReadLangPath(index));
}

void TLangManager::LoadCurrent() {
    current_ = CreateSource(GetCurrentIndex());
    caption_ = current_->GetText("Language.Caption");
}

int TLangManager::GetCurrentIndex() const {
    return static_cast<int>(ReadLangInt("Current"));
}

void TLangManager::SetCurrentIndex(int index) {
    WriteLangInt("Current", index);
}

int TLangManager::CopyLanguage(int index) {
    auto source = CreateSource(index);
    // Running numbers only grow; a file left behind under the next number (a
    // settings file lost or edited by hand) is skipped rather than overwritten.
    std::int64_t number = ReadLangInt("LastCopied");
    std::string path;
    do {
        ++number;
        path = platform::FileBesideProgram("Lang" + std::to_string(number) + ".ini");
    } while (FileExists(path));

    // The copy is complete before it enters the list: an unreadable source or
    // an unwritable folder changes nothing.
    if (!source->SaveToFile(path)) return 0;
    std::vector<std::string> lines;
    if (ReadLines(path, lines)) {
        SetGlossaryValue(lines, "Language.Caption", GlossaryValue(lines, "Language.New"));
        SetGlossaryValue(lines, "Language.Author", "");
        SetGlossaryValue(lines, "Language.Comment", "");
        WriteLines(path, lines);
    }

    int count = LanguageCount() + 1;
    WriteLangInt("Count", count);
    WriteLangInt("LastCopied", number);
    WriteLangPath(count, path);
    return count;
}

void TLangManager::DeleteLanguage(int index) {
    int count = LanguageCount();
    if (index < 1 || index > count) return;
    if (std::string path = ReadLangPath(index); !path.empty())
        std::remove(path.c_str()); // already gone is fine
    for (int i = index + 1; i <= count; ++i)
        WriteLangPath(i - 1, ReadLangPath(i));
    WriteLangInt("Count", count - 1);
}

bool TLangManager::TranslateLanguage(int index) {
    const TTranslationEditor& editor = InstalledEditor();
    if (!editor || index == 0 || index > LanguageCount()) return false;
    if (index < 0) { // a built-in text is never edited: edit a copy
        index = CopyLanguage(index);
        if (index == 0) return false;
    }
    std::string path = ReadLangPath(index);
    std::vector<std::string> lines;
    if (!ReadLines(path, lines)) return false;
    return WriteLines(path, editor(GetText("Translate.Caption"), lines));
}

// ---- the program's manager

TLangManager* LangManager = nullptr;

namespace {
// Made before main and released after it, so every window finds the manager.
struct TLangManagerHolder {
    TLangManager manager;
    TLangManagerHolder() { LangManager = &manager; }
    ~TLangManagerHolder() { LangManager = nullptr; }
} langManagerHolder;
} // namespace

std::string LangText(const std::string& key) {
    return LangManager ? LangManager->GetText(key) : std::string();
}
