#pragma once
// Where internal (Windows-1252) texts meet the screen.
#include "i18n/UnitLanguageManagement.h"
#include "platform/Cp1252.h"

#include <QString>
#include <string>

inline QString ScreenText(const std::string& cp1252) {
    return QString::fromStdString(platform::Cp1252ToUtf8(cp1252));
}
inline std::string InternalText(const QString& text) {
    return platform::Utf8ToCp1252(text.toStdString());
}
// LangText of `key`, for the screen.
inline QString LT(const std::string& key) {
    return ScreenText(LangText(key));
}
