#pragma once
// Everything one save fetches: pages (the saved page, its frames, the chosen
// links), pictures and stylesheets, each with a unique local file name, the
// walk over them for the download window, and the saving and relinking of the
// stored pages.
#include "platform/BrowserDom.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrio {

enum : uint8_t {
    lsLocal = 0,           // taken from the browser (the saved page and its frames)
    lsWanted = 1,          // to be downloaded
    lsToBrowser = 2,       // to be handed to the browser's download handling
    lsNotWanted = 3,       // not to be downloaded at all
    lsDownloaded = 4,      // downloaded and stored
    lsHandedToBrowser = 5, // handed to the browser's download handling
    lsSkipped = 6,         // skipped by the user
    lsRelinked = 7,        // a stored page whose links were rewritten
};

enum : uint8_t { phPages = 0, phPictures = 1, phStylesheets = 2 };

struct TListerItem {
    std::string URL; // links and stylesheets without the fragment; pictures as given
    std::string Text;
    std::string LocalName;
    uint8_t State = lsWanted;
};

class TLister {
public:
    // Lists the page of the window's parent, its frames and all their
    // pictures. DomError of the page objects reaches the caller, except that
    // a frame whose document the browser refuses (another site) is listed as
    // a page to download from its address.
    explicit TLister(const platform::DomValue& window);

    void AddLink(const std::string& url, const std::string& text);
    void AddPicture(const std::string& url);
    void AddStylesheet(const std::string& url);
    // Adds the pictures and stylesheets of the current page, just stored.
    void ScanDownloadedPage();

    bool First();
    bool Next();
    int32_t Count() const;
    int32_t CurrentIndex() const;
    const std::string& CurrentURL() const { return Current().URL; }
    const std::string& CurrentText() const { return Current().Text; }
    const std::string& CurrentLocalName() const { return Current().LocalName; }
    uint8_t CurrentState() const { return Current().State; }
    void SetCurrentState(uint8_t state) { Current().State = state; }
    uint8_t StateAt(int32_t index) const { return At(index).State; }
    void SetStateAt(int32_t index, uint8_t state) { At(index).State = state; }
    const std::string& URLAt(int32_t index) const { return At(index).URL; }
    std::string PhaseCaption() const;
    std::string TmpSuffix() const;
    void AddHtmSuffix();
    void RenameCurrent(const std::string& newURL);

    // A file name unique among all entries, without regard to case.
    std::string MakeLocalName(std::string_view name);

    // Writes the page and its frames from the browser as ".tmp" files and
    // lists their stylesheets.
    void SaveDocuments();
    void ResetRelink();
    bool RelinkNext();
    void RelinkPage();
    static bool SameURL(std::string_view entry, std::string_view ref);

    int32_t NameCounter = 0;
    std::vector<std::string> Extensions; // lower-cased
    std::vector<std::string> Keywords;   // lower-cased
    std::string PageURL;
    std::vector<TListerItem> Pages; // item 0 is the saved page itself
    std::vector<TListerItem> Pictures;
    std::vector<TListerItem> Stylesheets;
    int32_t PageCursor = 0, PictureCursor = 0, StylesheetCursor = 0;
    uint8_t Phase = phPages;

private:
    std::vector<TListerItem>& List();
    const std::vector<TListerItem>& List() const;
    int32_t& Cursor();
    int32_t CursorValue() const;
    TListerItem& At(int32_t index);
    const TListerItem& At(int32_t index) const;
    TListerItem& Current() { return At(CursorValue()); }
    const TListerItem& Current() const { return At(CursorValue()); }
    void Seek();
    bool PhaseInUse(uint8_t phase) const;
    bool HasListedExtension(std::string_view name) const;
    void ApplyExtensionRule(TListerItem& item) const;
    void AddStylesheetsOf(std::string_view html, std::string_view base);
};

// The browser window of the page being saved (cleared when the save ends) and
// the lister of the save.
extern platform::DomValue BrowserWindow;
extern std::unique_ptr<TLister> Lister;

} // namespace kestrio
