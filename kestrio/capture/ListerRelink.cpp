// Saving the page and its frames from the browser, and rewriting the links of
// every stored page to the local copies.
#include "HTMLParser.h"
#include "ListerUnit.h"
#include "ToolsUnit.h"

#include <algorithm>
#include <unordered_map>

namespace kestrio {

namespace {

platform::DomValue Item(const platform::DomValue& collection, int64_t index) {
    return collection.Call("Item", {platform::DomValue(index)});
}

// The HTML of a document: the outerHTML of its element named "HTML". A
// document without one (a lower-case html, an XML root) gives its first
// element that is not a comment or doctype; one without any element gives an
// empty text, so that every listed page still has a file to relink.
std::string DocumentHTML(const platform::DomValue& document) {
    const platform::DomValue all = document.Get("all");
    const int64_t count = all.Get("length").ToInteger();
    platform::DomValue root;
    for (int64_t i = 0; i < count; ++i) {
        const platform::DomValue element =
            all.Call("Item", {platform::DomValue(i), platform::DomValue(0)});
        const std::string tag = element.Get("tagName").ToString();
        if (tag == "HTML") return element.Get("outerHTML").ToString();
        if (root.IsNull() && tag != "!") root = element;
    }
    return root.IsNull() ? std::string() : root.Get("outerHTML").ToString();
}

// The address, a real one from the browser, goes into a script inside an
// attribute's double quotes. The browser decodes the attribute (entities),
// then the javascript: address (percent escapes), then reads the script with
// the address in a single-quoted string: each layer is escaped so that the
// address reads back as it is and cannot end the string early.
std::string ScriptSafe(std::string_view url) {
    std::string r;
    for (char c : url) {
        if (c == '\\' || c == '\'')
            r.append(1, '\\').append(1, c);
        else if (c == '%')
            r += "%25";
        else if (c == '&')
            r += "&amp;";
        else if (c == '"')
            r += "&quot;";
        else
            r += c;
    }
    return r;
}

// A fragment is taken from the page's own markup, where entities are already
// written as such: only a double quote (from a single-quoted value) would end
// the new double-quoted value.
std::string AttributeSafe(std::string_view text) {
    std::string r;
    for (char c : text) {
        if (c == '"')
            r += "&quot;";
        else
            r += c;
    }
    return r;
}

std::string ToBrowserText(std::string_view url) {
    return "\"javascript: alert('" + ScriptSafe(url) +
           "\\n\\nThis file was not downloaded with Kestrio but your default download "
           "manager.')\"";
}

std::string NotWantedText(std::string_view url) {
    const std::string u = ScriptSafe(url);
    return "\"javascript:if (confirm('" + u +
           "\\n\\nThis file was not downloaded with Kestrio.\\n\\nDo you want to open it from "
           "the server?'))window.location='" +
           u + "'\"";
}

// The last entry in list order with one of the states and a given address.
class TLastByURL {
public:
    TLastByURL(const std::vector<TListerItem>& list, std::initializer_list<uint8_t> states) {
        for (size_t i = 0; i < list.size(); ++i) {
            for (uint8_t s : states) {
                if (list[i].State == s && !list[i].URL.empty()) {
                    last_[list[i].URL] = i;
                    break;
                }
            }
        }
    }
    // The index, or -1.
    int64_t Find(const std::string& url) const {
        auto it = last_.find(url);
        return it == last_.end() ? -1 : static_cast<int64_t>(it->second);
    }

private:
    std::unordered_map<std::string, size_t> last_;
};

} // namespace

void TLister::AddStylesheetsOf(std::string_view html, std::string_view base) {
    THTMLParser parser(html);
    while (parser.Next())
        if (parser.Kind() == tkLinkTag) AddStylesheet(ResolveURL(base, CleanValue(parser.Value())));
}

void TLister::SaveDocuments() {
    const platform::DomValue parent = BrowserWindow.Get("parent");
    const std::string html = DocumentHTML(parent.Get("document"));
    WriteNewFile(DestDir + "INDEX.HTM.tmp", html);
    AddStylesheetsOf(html, BaseURL);

    const platform::DomValue frames = parent.Get("frames");
    const int64_t count = frames.Get("length").ToInteger();
    for (int64_t i = 0; i < count; ++i) {
        const size_t entry = static_cast<size_t>(i) + 1;
        // A frame the browser refused was listed to be downloaded instead.
        if (entry >= Pages.size() || Pages[entry].State != lsLocal) continue;
        const platform::DomValue document = Item(frames, i).Get("document");
        const std::string frameHTML = DocumentHTML(document);
        WriteNewFile(DestDir + Pages[entry].LocalName + ".tmp", frameHTML);
        AddStylesheetsOf(frameHTML, document.Get("URL").ToString());
    }
}

void TLister::ResetRelink() {
    Phase = phPages;
    PageCursor = 0;
}

bool TLister::RelinkNext() {
    for (;;) {
        if (PageCursor < 0 || static_cast<size_t>(PageCursor) >= Pages.size()) return false;
        TListerItem& page = Pages[static_cast<size_t>(PageCursor)];
        if (page.State == lsLocal || page.State == lsDownloaded) {
            RelinkPage();
            Pages[static_cast<size_t>(PageCursor)].State = lsRelinked;
            return true;
        }
        ++PageCursor;
    }
}

bool TLister::SameURL(std::string_view entry, std::string_view ref) {
    if (entry.empty()) return false;
    std::string s = StripFragment(ref);
    if (entry.back() == '/' && (s.empty() || s.back() != '/')) s += '/';
    return entry == s;
}

void TLister::RelinkPage() {
    const TListerItem page = Pages.at(static_cast<size_t>(PageCursor));
    const std::string source = DestDir + page.LocalName + ".tmp";
    THTMLParser parser = THTMLParser::FromFile(source);
    TFileWriter out(DestDir + page.LocalName);

    // Pages match by SameURL: the address without its fragment, or with a
    // "/" added when the entry ends with one. The last match in list order wins.
    const TLastByURL pages(
        Pages, {lsLocal, lsToBrowser, lsNotWanted, lsDownloaded, lsHandedToBrowser, lsRelinked});
    const TLastByURL pictures(Pictures, {lsLocal, lsDownloaded, lsRelinked});
    const TLastByURL stylesheets(Stylesheets, {lsLocal, lsDownloaded, lsRelinked});
    auto pageFor = [&](const std::string& ref) {
        const std::string s = StripFragment(ref);
        int64_t found = pages.Find(s);
        if (s.empty() || s.back() != '/') found = std::max(found, pages.Find(s + '/'));
        return found;
    };

    std::string replaced;
    while (parser.Next()) {
        const uint8_t kind = parser.Kind();
        std::string_view value = parser.Value();
        if (kind != tkRest) {
            const std::string ref = ResolveURL(page.URL, CleanValue(value));
            int64_t q = -1;
            if (kind == tkAnchor || kind == tkFrame) {
                q = pageFor(ref);
                if (q >= 0) {
                    const TListerItem& target = Pages[static_cast<size_t>(q)];
                    const bool script = kind == tkAnchor;
                    if (script &&
                        (target.State == lsToBrowser || target.State == lsHandedToBrowser))
                        replaced = ToBrowserText(target.URL);
                    else if (script && target.State == lsNotWanted)
                        replaced = NotWantedText(target.URL);
                    else
                        replaced = "\"" + target.LocalName + AttributeSafe(GetFragment(ref)) + "\"";
                }
            } else {
                const TLastByURL& list = kind == tkImage ? pictures : stylesheets;
                q = list.Find(ref);
                if (q >= 0) {
                    const auto& items = kind == tkImage ? Pictures : Stylesheets;
                    replaced = "\"" + items[static_cast<size_t>(q)].LocalName + "\"";
                }
            }
            if (q >= 0) value = replaced;
        }
        out.Write(parser.Text());
        out.Write(value);
    }
    out.Close();
    DeleteFileQuietly(source);
}

} // namespace kestrio
