#pragma once
// The save dialog's state and work without its widgets. The view copies its
// controls into the fields below before each handler and back after it.
#include "kestrio/app/KesApp.h"
#include "kestrio/app/VersionCheck.h"
#include "platform/BrowserDom.h"

#include <functional>
#include <string>
#include <vector>

namespace kestrio {

struct TLinkRow {
    std::string URL, Text;
    bool Checked = false;
};

enum TStartTab { tabGeneral = 0, tabAdvanced = 1, tabAbout = 2 };

extern const char* const kByHandMessage; // "You don't need to start Kestrio.exe" ...

class TStartDialog : public IPageReceiver {
public:
    TStartDialog();
    // The lister of the save goes with the dialog.
    ~TStartDialog() override;

    // Controls (Windows-1252 texts).
    std::string Caption = "Kestrio";
    std::string edFolder, edSubFolder, edURL, edExt;
    bool chbSubFolder = false, chbImg = false, chbExter = false, chbURL = false;
    bool chbGenDef = false; // chbAdvDef mirrors it
    bool edSubFolderEnabled = false, edURLEnabled = false;
    std::string chbExterHint;
    int32_t rgrExt = 0;
    int32_t URLColumnWidth = 200, TextColumnWidth = 200;
    std::vector<TLinkRow> Rows;
    int ActiveTab = tabAbout;

    VersionCheck Version;
    // Off where nobody could read the answer (saving from the terminal).
    bool CheckVersion = true;

    // What "&Start" needs of the windows.
    struct StartHooks {
        std::function<void()> FocusFolderAndBeep;
        std::function<void()> Hide;
        // Shows the download window modally; returns when it has closed.
        std::function<void()> RunDownload;
        std::function<void()> InformationSound;
    };
    // Reports each address handed to the browser's own download handling.
    std::function<void(const std::string& url)> OnHandedOver;

    void FormShow();
    void LoadPage(const platform::DomValue& W) override;
    void OptionsToControls();
    void ControlsToOptions();
    void chbSubFolderClick() { edSubFolderEnabled = chbSubFolder; }
    void chbURLClick() { edURLEnabled = chbURL; }
    void btnAllClick();
    void btnInverseClick();
    void btnInternalClick();
    // False when the folder does not exist (the hook has run); errors of the
    // lister or of making folders are thrown.
    bool btnSaveClick(const StartHooks& hooks);
    void btnCancelClick() { ControlsToOptions(); }
    void FormCloseQuery();
    // False (and the message) when the tab may not change: no automation object.
    bool PageControl1Changing(std::string& message) const;

    // The folder the save goes to, from the controls (as "&Start" computes it).
    std::string DestinationDir() const;

private:
    void HandOverPass();
};

} // namespace kestrio
