#include "kestrio/app/StartDialog.h"

#include "kestrio/app/StoredOptions.h"
#include "kestrio/capture/ListerUnit.h"
#include "kestrio/capture/ToolsUnit.h"
#include "platform/Cp1252.h"

#include <QDir>
#include <QFileInfo>
#include <stdexcept>

namespace kestrio {

const char* const kByHandMessage = "You don't need to start Kestrio.exe\n"
                                   "\n"
                                   "For use Kestrio\n"
                                   "1) use the Microsoft Internet Explorer to display a Web page "
                                   "you want to save\n"
                                   "2) select the text area with links you want to save\n"
                                   "3) right-click in the page, and then click Kestrio\n"
                                   "   OR\n"
                                   "   click Kestrio toolbar button";

namespace {

// Surrounding characters of code 32 and below go.
std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

bool FolderExists(const std::string& cp1252) {
    if (cp1252.empty()) return false;
    return QFileInfo(platform::Cp1252ToQString(cp1252)).isDir();
}

} // namespace

TStartDialog::TStartDialog() {
    Version.OnNewVersion = nullptr; // the view shows the message
}

TStartDialog::~TStartDialog() {
    Lister.reset();
}

void TStartDialog::FormShow() {
    ActiveTab = tabAbout;
    LoadOptions();
}

void TStartDialog::LoadPage(const platform::DomValue& W) {
    if (CheckVersion) Version.Begin();
    BrowserWindow = W;
    const platform::DomValue doc = W.Get("parent").Get("document");
    BaseURL = Trim(doc.Get("Url").ToString());
    PageTitle = Trim(doc.Get("Title").ToString());
    Caption = "Kestrio: " + PageTitle;
    edSubFolder = TitleToFolderName(PageTitle);
    OptionsToControls();
    const std::string S =
        W.Get("document").Get("selection").Call("createRange").Get("text").ToString();
    Rows.clear();
    const platform::DomValue links = W.Get("document").Get("Links");
    const int64_t n = links.Get("length").ToInteger();
    for (int64_t i = 0; i < n; ++i) {
        const platform::DomValue link = links.Call("Item", {platform::DomValue(i)});
        const std::string H = link.Get("href").ToString();
        if (!IsNotMailto(H)) continue;
        TLinkRow row;
        row.URL = H;
        row.Text = Trim(link.Get("innerText").ToString());
        row.Checked = !row.Text.empty() && S.find(row.Text) != std::string::npos;
        Rows.push_back(std::move(row));
    }
    ActiveTab = tabGeneral;
}

void TStartDialog::OptionsToControls() {
    const TOptions& o = Options;
    edFolder = o.General.DestinationFolder;
    chbSubFolder = o.General.CreateSubFolder;
    chbSubFolderClick();
    chbImg = o.General.ShowPictures;
    URLColumnWidth = o.General.URLW == 0 ? 200 : o.General.URLW;
    TextColumnWidth = o.General.TextW == 0 ? 200 : o.General.TextW;
    chbExter = o.Advanced.NotExtPic;
    chbExterHint = "pictures are external if their URLs do not begin with " + GetRoot(BaseURL);
    chbURL = o.Advanced.NotKeyPic;
    chbURLClick();
    edURL = o.Advanced.KeyWords;
    edExt = o.Advanced.Extensions;
    rgrExt = o.Advanced.DoWithExtensions;
}

void TStartDialog::ControlsToOptions() {
    TOptions& o = Options;
    o.General.DestinationFolder = Trim(edFolder);
    o.General.CreateSubFolder = chbSubFolder;
    o.General.ShowPictures = chbImg;
    o.General.URLW = URLColumnWidth;
    o.General.TextW = TextColumnWidth;
    o.Advanced.NotExtPic = chbExter;
    o.Advanced.NotKeyPic = chbURL;
    o.Advanced.KeyWords = Trim(edURL);
    o.Advanced.Extensions = Trim(edExt);
    o.Advanced.DoWithExtensions = rgrExt;
    if (chbGenDef) SaveOptions();
}

void TStartDialog::btnAllClick() {
    for (TLinkRow& r : Rows)
        r.Checked = true;
}

void TStartDialog::btnInverseClick() {
    for (TLinkRow& r : Rows)
        r.Checked = !r.Checked;
}

void TStartDialog::btnInternalClick() {
    const std::string root = GetRoot(BaseURL);
    for (TLinkRow& r : Rows)
        if (r.Checked) r.Checked = GetRoot(r.URL) == root;
}

std::string TStartDialog::DestinationDir() const {
    std::string d = edFolder;
    if (d.empty() || d.back() != '/') d += '/';
    if (chbSubFolder && !edSubFolder.empty()) {
        d += edSubFolder;
        if (d.back() != '/') d += '/';
    }
    return d;
}

void TStartDialog::HandOverPass() {
    for (TListerItem& item : Lister->Pages) {
        if (item.State != lsToBrowser) continue;
        BrowserWindow.Get("document").Get("location").Set("href", item.URL);
        item.State = lsHandedToBrowser;
        if (OnHandedOver) OnHandedOver(item.URL);
    }
    if (KesAppInstance) KesAppInstance->FlushNavigation(BrowserWindow);
}

bool TStartDialog::btnSaveClick(const StartHooks& hooks) {
    const std::string F = edFolder;
    if (!FolderExists(F)) {
        if (hooks.FocusFolderAndBeep) hooks.FocusFolderAndBeep();
        return false;
    }
    ControlsToOptions();
    Lister = std::make_unique<TLister>(BrowserWindow);
    for (const TLinkRow& r : Rows)
        if (r.Checked) Lister->AddLink(r.URL, r.Text);
    if (hooks.Hide) hooks.Hide();
    DestDir = DestinationDir();
    if (chbSubFolder && !edSubFolder.empty() && !QDir().mkpath(platform::Cp1252ToQString(DestDir)))
        throw std::runtime_error("Cannot create the folder \"" + DestDir + "\"");
    HandOverPass();
    if (hooks.RunDownload) hooks.RunDownload();
    if (hooks.InformationSound) hooks.InformationSound();
    HandOverPass();
    Version.Cancel();
    BrowserWindow = platform::DomValue();
    if (KesAppInstance) KesAppInstance->ReleaseExtraHold();
    return true;
}

void TStartDialog::FormCloseQuery() {
    BrowserWindow = platform::DomValue();
    if (KesAppInstance) KesAppInstance->ReleaseExtraHold();
}

bool TStartDialog::PageControl1Changing(std::string& message) const {
    if (KesAppInstance) return true;
    message = kByHandMessage;
    return false;
}

} // namespace kestrio
