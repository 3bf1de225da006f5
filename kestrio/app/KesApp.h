#pragma once
// The automation object "Kestrio.KesApp" that a browser script creates and
// hands a page to with Start. It lives while anyone holds a reference: the
// script (until it lets go) and, after Start, the save dialog's extra hold.
#include "platform/BrowserDom.h"

#include <functional>
#include <string>

namespace kestrio {

// The save dialog as the object sees it.
class IPageReceiver {
public:
    virtual ~IPageReceiver() = default;
    // Fills the dialog from the page's window; throws what the page objects throw.
    virtual void LoadPage(const platform::DomValue& window) = 0;
};

// Registration identifiers, fixed for every build.
extern const char* const kProgID;        // "Kestrio.KesApp"
extern const char* const kClassGUID;     // class KesApp
extern const char* const kInterfaceGUID; // IKesApp
extern const char* const kTypeLibGUID;   // library Kestrio 1.0

class TKesApp {
public:
    // The creator's reference is counted from the start.
    explicit TKesApp(IPageReceiver* dialog) : dialog_(dialog) {}
    TKesApp(const TKesApp&) = delete;
    TKesApp& operator=(const TKesApp&) = delete;
    ~TKesApp();

    // IKesApp.Start (dispatch id 1). Keeps the object alive for the dialog,
    // then fills the dialog; an error of the page objects reaches the caller
    // while the object stays registered and keeps its hold.
    void Start(const platform::DomValue& WB);

    void AddRef() { ++refs_; }
    void Release();
    int References() const { return refs_; }

    // Gives back the hold that Start took; does nothing when none is held, so
    // every way out of the dialog may call it.
    void ReleaseExtraHold();
    bool HoldsExtra() const { return extraHeld_; }

    // Passes the addresses newly assigned to location.href of `window` to
    // OnNavigate, each once.
    void FlushNavigation(const platform::DomValue& window);

    // The last reference went away: the process may end.
    std::function<void()> OnLastRelease;
    // The browser is to fetch this address with its own download handling.
    std::function<void(const std::string& url)> OnNavigate;

private:
    IPageReceiver* dialog_;
    int refs_ = 1;
    bool extraHeld_ = false;
    size_t navigationsSent_ = 0;
};

// The object after its first Start; null before.
extern TKesApp* KesAppInstance;

} // namespace kestrio
