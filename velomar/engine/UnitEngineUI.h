#pragma once
// What the engine needs from windows that belong to the desktop layer: the
// credentials prompt and the download-complete notice. With no UI installed
// the prompt answers as a cancel and the notice does nothing.
#include <string>

class TEngineUI {
public:
    virtual ~TEngineUI() = default;
    // Modal prompt for a Basic realm; `user` and `password` come pre-filled
    // and hold the answer on return. False when the user cancelled.
    virtual bool AskCredentials(const std::string& realm, std::string& user,
                                std::string& password) = 0;
    // A download finished (shown unless the user turned the notice off).
    virtual void DownloadComplete(const std::string& url) = 0;
};

// Installs the UI (not owned); null removes it.
void SetEngineUI(TEngineUI* ui);
TEngineUI* EngineUI();
