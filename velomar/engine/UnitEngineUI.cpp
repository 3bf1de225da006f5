#include "engine/UnitEngineUI.h"

namespace {
TEngineUI* installed = nullptr;
}

void SetEngineUI(TEngineUI* ui) {
    installed = ui;
}
TEngineUI* EngineUI() {
    return installed;
}
