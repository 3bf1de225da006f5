#include "kestrio/app/KesApp.h"

namespace kestrio {

const char* const kProgID = "Kestrio.KesApp";
const char* const kClassGUID = "{6B1E8C52-3A0F-4D7B-9E21-5C4A7F0D8B13}";
const char* const kInterfaceGUID = "{C93D27A4-81E6-4B5F-A0C8-2E7D91F64B35}";
const char* const kTypeLibGUID = "{0F4A6D19-B2C7-4E83-8D5A-71E3C9B0A246}";

TKesApp* KesAppInstance = nullptr;

TKesApp::~TKesApp() {
    if (KesAppInstance == this) KesAppInstance = nullptr;
}

void TKesApp::Start(const platform::DomValue& WB) {
    KesAppInstance = this;
    // A second Start must not leave a hold that nothing gives back.
    if (!extraHeld_) {
        extraHeld_ = true;
        AddRef();
    }
    dialog_->LoadPage(WB);
}

void TKesApp::Release() {
    if (refs_ <= 0) return;
    if (--refs_ == 0 && OnLastRelease) OnLastRelease();
}

void TKesApp::ReleaseExtraHold() {
    if (!extraHeld_) return;
    extraHeld_ = false;
    Release();
}

void TKesApp::FlushNavigation(const platform::DomValue& window) {
    if (window.IsNull()) return;
    const std::vector<std::string> hrefs = window.AssignedHrefs();
    for (; navigationsSent_ < hrefs.size(); ++navigationsSent_)
        if (OnNavigate) OnNavigate(hrefs[navigationsSent_]);
}

} // namespace kestrio
