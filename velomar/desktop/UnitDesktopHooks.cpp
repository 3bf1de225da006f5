#include "desktop/UnitDesktopHooks.h"

namespace {
TDesktopHooks defaults;
TDesktopHooks* installed = nullptr;
} // namespace

TDesktopHooks& DesktopHooks() {
    return installed ? *installed : defaults;
}

void SetDesktopHooks(TDesktopHooks* hooks) {
    installed = hooks;
}
