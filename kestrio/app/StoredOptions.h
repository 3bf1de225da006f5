#pragma once
// The options record in the registry store: HKEY_CURRENT_USER, key
// "\SOFTWARE\Tamrisk\Kestrio\", ten values.
//
// There is no installer to make the key: SaveOptions creates it, so that
// "Save options as default" always stores. LoadOptions never creates it; while
// it is missing every field keeps its start value.
#include "kestrio/capture/ToolsUnit.h"

namespace kestrio {

extern const char* const kOptionsKey;

void LoadOptions(TOptions& options = Options);
// False when the store cannot be written.
bool SaveOptions(const TOptions& options = Options);

} // namespace kestrio
