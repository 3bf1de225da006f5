#pragma once
// Every user-visible text by key: the static text first (per-language values
// picked by the current language's caption, then "General." values), then the
// current language. Languages beyond the two built-in ones are INI files beside
// the program, listed in section "Languages" of the settings file.
//
// Language index: -2 English, -1 and 0 Portuguese (0 is what a fresh settings
// file gives), 1..Count the INI language stored under that number; any other
// index is looked up like 1..Count and, with no path stored, finds no text.
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class IniFile;
}

// The texts of one language.
class TLangSource {
public:
    explicit TLangSource(int index) : Index(index) {}
    virtual ~TLangSource() = default;
    TLangSource(const TLangSource&) = delete;
    TLangSource& operator=(const TLangSource&) = delete;

    // The text stored under `key` (ASCII case ignored); empty when none.
    virtual std::string GetText(const std::string& key) const = 0;
    // Writes the whole text to `path` as a language file (CR LF line ends),
    // replacing any file of that name. False when the text cannot be read or
    // the file cannot be written; `path` is then left as it was.
    virtual bool SaveToFile(const std::string& path) const = 0;

    int Index; // the language index the source was made for
};

// Lines of one in-memory text (the built-in texts). A value is everything after
// the first "=", untrimmed; lines without "=" never match.
class TTextLangSource : public TLangSource {
public:
    TTextLangSource(int index, const std::string& text);
    std::string GetText(const std::string& key) const override;
    bool SaveToFile(const std::string& path) const override;
    const std::vector<std::string>& Lines() const { return lines_; }

private:
    std::vector<std::string> lines_;
};

// An INI language file: values of section "Glossary", trimmed of surrounding
// blanks. The file is re-read when it changes on disk, so an edited file shows
// its new texts at the next lookup. A missing or unreadable file finds no text.
class TIniLangSource : public TLangSource {
public:
    TIniLangSource(int index, const std::string& path);
    ~TIniLangSource() override;
    std::string GetText(const std::string& key) const override;
    bool SaveToFile(const std::string& path) const override;
    const std::string& Path() const { return path_; }

private:
    void Refresh() const;

    std::string path_;
    mutable std::unique_ptr<platform::IniFile> ini_;
    mutable std::string stamp_; // identity of the file version `ini_` holds
};

// Shows `lines` in the translation editor titled `title`, modally, and returns
// the lines as the editor holds them when it closes (however it is closed).
using TTranslationEditor = std::function<std::vector<std::string>(
    const std::string& title, const std::vector<std::string>& lines)>;
// Installed by the window layer; without one, TranslateLanguage does nothing.
void SetTranslationEditor(TTranslationEditor editor);

class TLangManager {
public:
    TLangManager(); // over the built-in static text
    explicit TLangManager(const std::string& staticText);
    ~TLangManager();
    TLangManager(const TLangManager&) = delete;
    TLangManager& operator=(const TLangManager&) = delete;

    std::string GetText(const std::string& key) const;

    int BuiltInCount() const { return 2; }
    int LanguageCount() const;
    // A new source for `index`, owned by the caller.
    std::unique_ptr<TLangSource> CreateSource(int index) const;
    // Makes the current source and caption from "Current".
    void LoadCurrent();
    int GetCurrentIndex() const;
    void SetCurrentIndex(int index);

    // Makes a new INI language from language `index` and returns its index (the
    // new Count); 0 when the source cannot be read or the copy not written, in
    // which case nothing has changed.
    int CopyLanguage(int index);
    // Deletes INI language `index` (1..Count) and its file; others are ignored.
    void DeleteLanguage(int index);
    // Edits INI language `index` in the translation editor; a built-in language
    // is copied first and the copy edited. False when nothing was edited.
    bool TranslateLanguage(int index);

    const std::string& CurrentCaption() const { return caption_; }
    const TLangSource* CurrentSource() const { return current_.get(); }

private:
    TTextLangSource static_;
    std::unique_ptr<TLangSource> current_;
    std::string caption_;
};

// The one manager of the program; it exists from start-up to exit.
extern TLangManager* LangManager;

// The text of `key` in the static text or the current language; empty if none.
std::string LangText(const std::string& key);
