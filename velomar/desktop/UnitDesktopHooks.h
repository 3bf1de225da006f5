#pragma once
// Steps of the program's start-up, timer and commands that belong to modules
// built later (update and news windows, browser integration, clipboard and
// drop target, schedule, tray icon and shortcuts, preferences). The desktop
// calls them at their fixed places; each does nothing until a module installs
// hooks of its own.
#include <string>

class TDesktopHooks {
public:
    virtual ~TDesktopHooks() = default;

    // Update window and the status service.
    virtual void CreateUpdateWindow() {}
    virtual void FreeUpdateWindow() {}
    virtual void ShowAndCheck() {} // visible update check
    virtual void StartCheck() {}   // silent update check
    virtual void Notify(const std::string& /*event*/) {}
    virtual void ShowNews() {}

    // Browser integration, clipboard capture and the drop target.
    virtual void InstallBrowserMenus() {}
    virtual void RegisterCompanionLibrary() {}
    virtual void UpdateBrowserIntegration() {}
    virtual void CheckClipboard() {}
    virtual void RegisterDropTarget() {}
    virtual void RevokeDropTarget() {}

    // Schedule and dial-up.
    virtual void CheckScheduledStart() {}
    virtual void CheckScheduledHangUp() {}
    virtual void AllJobsDone() {}

    // Notification-area icon and shortcuts.
    virtual void UpdateShortcuts() {}
    virtual void AddTrayIcon() {}
    virtual void RemoveTrayIcon() {}

    // Preferences dialog.
    virtual void ShowPreferences() {}
};

// The installed hooks, or ones that do nothing.
TDesktopHooks& DesktopHooks();
// Installs `hooks` (not owned); null restores the defaults.
void SetDesktopHooks(TDesktopHooks* hooks);
