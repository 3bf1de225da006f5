#include "kestrio/app/StoredOptions.h"

#include "platform/Registry.h"

namespace kestrio {

const char* const kOptionsKey = "\\SOFTWARE\\Tamrisk\\Kestrio\\";

void LoadOptions(TOptions& o) {
    platform::Registry reg(platform::RegistryHive::CurrentUser);
    if (!reg.OpenKey(kOptionsKey, false)) return;
    auto str = [&](const char* name, std::string& into) {
        if (auto v = reg.ReadString(name)) into = *v;
    };
    auto boolean = [&](const char* name, bool& into) {
        if (auto v = reg.ReadBool(name)) into = *v;
    };
    auto integer = [&](const char* name, int32_t& into) {
        if (auto v = reg.ReadInteger(name)) into = *v;
    };
    str("DestinationFolder", o.General.DestinationFolder);
    boolean("CreateSubFolder", o.General.CreateSubFolder);
    boolean("ShowPictures", o.General.ShowPictures);
    integer("URLW", o.General.URLW);
    integer("TextW", o.General.TextW);
    boolean("NotExtPic", o.Advanced.NotExtPic);
    boolean("NotKeyPic", o.Advanced.NotKeyPic);
    str("KeyWords", o.Advanced.KeyWords);
    str("Extensions", o.Advanced.Extensions);
    integer("DoWithExtensions", o.Advanced.DoWithExtensions);
    if (o.Advanced.KeyWords.empty()) o.Advanced.KeyWords = "banner advertising";
    if (o.Advanced.Extensions.empty()) o.Advanced.Extensions = "zip exe rar mp3 arj";
    reg.CloseKey();
}

bool SaveOptions(const TOptions& o) {
    platform::Registry reg(platform::RegistryHive::CurrentUser);
    if (!reg.OpenKey(kOptionsKey, true)) return false;
    const bool ok = reg.WriteString("DestinationFolder", o.General.DestinationFolder) &&
                    reg.WriteBool("CreateSubFolder", o.General.CreateSubFolder) &&
                    reg.WriteBool("ShowPictures", o.General.ShowPictures) &&
                    reg.WriteInteger("URLW", o.General.URLW) &&
                    reg.WriteInteger("TextW", o.General.TextW) &&
                    reg.WriteBool("NotExtPic", o.Advanced.NotExtPic) &&
                    reg.WriteBool("NotKeyPic", o.Advanced.NotKeyPic) &&
                    reg.WriteString("KeyWords", o.Advanced.KeyWords) &&
                    reg.WriteString("Extensions", o.Advanced.Extensions) &&
                    reg.WriteInteger("DoWithExtensions", o.Advanced.DoWithExtensions);
    reg.CloseKey();
    return ok;
}

} // namespace kestrio
