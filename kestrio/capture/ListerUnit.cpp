#include "ListerUnit.h"

#include "HTMLParser.h"
#include "ToolsUnit.h"

#include <stdexcept>

namespace kestrio {

platform::DomValue BrowserWindow;
std::unique_ptr<TLister> Lister;

namespace {

// An option text cut at each blank; runs of blanks give no empty words.
std::vector<std::string> LowerWords(std::string_view text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        size_t end = text.find(' ', i);
        if (end == std::string_view::npos) end = text.size();
        words.push_back(LowerASCII(text.substr(i, end - i)));
        i = end;
    }
    return words;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

platform::DomValue Item(const platform::DomValue& collection, int64_t index) {
    return collection.Call("Item", {platform::DomValue(index)});
}

// A frame's document, or a null value when the browser refuses it (a page of
// another site).
platform::DomValue ReadableDocument(const platform::DomValue& frame) {
    try {
        return frame.Get("document");
    } catch (const platform::DomError&) {
        return {};
    }
}

} // namespace

TLister::TLister(const platform::DomValue& window) {
    const platform::DomValue parent = window.Get("parent");
    const platform::DomValue page = parent.Get("document");
    PageURL = page.Get("location").ToString();
    Keywords = LowerWords(Options.Advanced.KeyWords);
    Extensions = LowerWords(Options.Advanced.Extensions);

    const platform::DomValue frames = parent.Get("frames");
    const int64_t frameCount = frames.Get("length").ToInteger();
    const int64_t linkCount = window.Get("document").Get("links").Get("length").ToInteger();
    if (linkCount >= 0 && frameCount >= 0 && linkCount + frameCount < (1 << 20))
        Pages.reserve(static_cast<size_t>(1 + linkCount + frameCount));

    Pages.push_back({PageURL, page.Get("Title").ToString(), "INDEX.HTM", lsLocal});
    std::vector<platform::DomValue> frameDocuments;
    for (int64_t k = 0; k < frameCount; ++k) {
        const platform::DomValue frame = Item(frames, k);
        TListerItem item;
        item.URL = frame.Get("location").ToString();
        const platform::DomValue document = ReadableDocument(frame);
        if (document.IsNull()) {
            // The browser will not hand this frame over: fetch it like a link.
            item.State = lsWanted;
        } else {
            item.Text = document.Get("Title").ToString();
            item.State = lsLocal;
        }
        item.LocalName = MakeLocalName(GetFileName(item.URL));
        Pages.push_back(std::move(item));
        frameDocuments.push_back(document);
    }

    auto addPictures = [this](const platform::DomValue& document) {
        const platform::DomValue images = document.Get("Images");
        const int64_t count = images.Get("length").ToInteger();
        for (int64_t l = 0; l < count; ++l)
            AddPicture(Item(images, l).Get("src").ToString());
    };
    addPictures(page);
    for (const platform::DomValue& document : frameDocuments)
        if (!document.IsNull()) addPictures(document);
}

bool TLister::HasListedExtension(std::string_view name) const {
    const std::string ext = LowerASCII(GetExtension(name));
    for (const std::string& e : Extensions)
        if (e == ext) return true;
    return false;
}

void TLister::ApplyExtensionRule(TListerItem& item) const {
    const int32_t rule = Options.Advanced.DoWithExtensions;
    if (rule > 0 && HasListedExtension(item.URL))
        item.State = rule == 1 ? lsToBrowser : lsNotWanted;
}

void TLister::AddLink(const std::string& url, const std::string& text) {
    TListerItem item;
    item.URL = StripFragment(url);
    item.Text = text;
    item.LocalName = MakeLocalName(GetFileName(item.URL));
    item.State = lsWanted;
    ApplyExtensionRule(item);
    if (!IsNotMailto(item.URL)) return;
    for (const TListerItem& p : Pages)
        if (p.URL == item.URL) return;
    Pages.push_back(std::move(item));
}

void TLister::AddPicture(const std::string& url) {
    TListerItem item;
    item.URL = url;
    item.LocalName = MakeLocalName(GetFileName(url));
    const std::string lower = LowerASCII(url);
    bool wanted = true;
    if (Options.Advanced.NotExtPic) wanted = GetRoot(lower) == GetRoot(PageURL);
    if (wanted && Options.Advanced.NotKeyPic) {
        for (const std::string& word : Keywords) {
            if (lower.find(word) != std::string::npos) {
                wanted = false;
                break;
            }
        }
    }
    if (!wanted) return;
    for (const TListerItem& p : Pictures)
        if (p.URL == item.URL) return;
    Pictures.push_back(std::move(item));
}

void TLister::AddStylesheet(const std::string& url) {
    TListerItem item;
    item.URL = StripFragment(url);
    item.LocalName = MakeLocalName(GetFileName(item.URL));
    if (!IsNotMailto(item.URL)) return;
    for (const TListerItem& s : Stylesheets)
        if (s.URL == item.URL) return;
    Stylesheets.push_back(std::move(item));
}

std::string TLister::MakeLocalName(std::string_view name) {
    size_t b = 0, e = name.size();
    while (b < e && static_cast<unsigned char>(name[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(name[e - 1]) <= 32)
        --e;
    std::string candidate;
    for (char c : LowerASCII(name.substr(b, e - b))) {
        if (c == '?') break;
        const bool kept = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' ||
                          c == '-' || c == '.' || c == '_';
        candidate += kept ? c : '_';
    }
    if (candidate.empty()) candidate.append("f").append(std::to_string(NameCounter++));
    for (bool hit = true; hit;) {
        hit = false;
        for (const auto* list : {&Pages, &Pictures, &Stylesheets}) {
            for (const TListerItem& item : *list) {
                if (EqualNoCase(item.LocalName, candidate)) {
                    candidate = std::to_string(NameCounter++) + candidate;
                    hit = true;
                }
            }
        }
    }
    return candidate;
}

std::vector<TListerItem>& TLister::List() {
    return Phase == phPictures ? Pictures : Phase == phStylesheets ? Stylesheets : Pages;
}

const std::vector<TListerItem>& TLister::List() const {
    return Phase == phPictures ? Pictures : Phase == phStylesheets ? Stylesheets : Pages;
}

int32_t& TLister::Cursor() {
    return Phase == phPictures      ? PictureCursor
           : Phase == phStylesheets ? StylesheetCursor
                                    : PageCursor;
}

int32_t TLister::CursorValue() const {
    return Phase == phPictures      ? PictureCursor
           : Phase == phStylesheets ? StylesheetCursor
                                    : PageCursor;
}

TListerItem& TLister::At(int32_t index) {
    return const_cast<TListerItem&>(static_cast<const TLister*>(this)->At(index));
}

const TListerItem& TLister::At(int32_t index) const {
    const auto& list = List();
    if (index < 0 || static_cast<size_t>(index) >= list.size())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    return list[static_cast<size_t>(index)];
}

int32_t TLister::Count() const {
    return static_cast<int32_t>(List().size());
}

int32_t TLister::CurrentIndex() const {
    return CursorValue();
}

void TLister::Seek() {
    const auto& list = List();
    int32_t& cursor = Cursor();
    while (cursor + 1 < static_cast<int32_t>(list.size()) &&
           list[static_cast<size_t>(cursor)].State != lsWanted)
        ++cursor;
}

bool TLister::PhaseInUse(uint8_t phase) const {
    if (phase == phPictures) return Options.General.ShowPictures && !Pictures.empty();
    if (phase == phStylesheets) return !Stylesheets.empty();
    return !Pages.empty();
}

bool TLister::First() {
    Phase = phPages;
    PageCursor = 0;
    return Next();
}

bool TLister::Next() {
    for (;;) {
        Seek();
        const auto& list = List();
        const int32_t cursor = CursorValue();
        if (cursor >= 0 && static_cast<size_t>(cursor) < list.size() &&
            list[static_cast<size_t>(cursor)].State == lsWanted)
            return true;
        uint8_t next = Phase + 1;
        while (next <= phStylesheets && !PhaseInUse(next))
            ++next;
        if (next > phStylesheets) return false;
        Phase = next;
        Cursor() = 0;
    }
}

std::string TLister::PhaseCaption() const {
    return Phase == phPictures      ? "Save pictures"
           : Phase == phStylesheets ? "Save stylesheets"
                                    : "Save Web Pages";
}

std::string TLister::TmpSuffix() const {
    return Phase == phPages ? ".tmp" : "";
}

void TLister::AddHtmSuffix() {
    if (Phase != phPages) return;
    TListerItem& item = Current();
    item.LocalName = MakeLocalName(item.LocalName + ".htm");
}

void TLister::RenameCurrent(const std::string& newURL) {
    std::string name = MakeLocalName(GetFileName(newURL));
    TListerItem& item = Current();
    item.LocalName = std::move(name);
    const int32_t rule = Options.Advanced.DoWithExtensions;
    if (rule > 0 && HasListedExtension(item.LocalName))
        item.State = rule == 1 ? lsToBrowser : lsNotWanted;
}

void TLister::ScanDownloadedPage() {
    if (Phase != phPages) return;
    const std::string base = CurrentURL();
    THTMLParser parser = THTMLParser::FromFile(DestDir + CurrentLocalName() + ".tmp");
    while (parser.Next()) {
        if (parser.Kind() == tkLinkTag)
            AddStylesheet(ResolveURL(base, CleanValue(parser.Value())));
        else if (parser.Kind() == tkImage)
            AddPicture(ResolveURL(base, CleanValue(parser.Value())));
    }
}

} // namespace kestrio
