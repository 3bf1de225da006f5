#pragma once
// Internal text is Windows-1252 bytes in std::string. These convert where text
// meets the screen, the file system or the terminal.
#include <QString>
#include <string>

namespace platform {

// UTF-8 -> Windows-1252; characters the code page lacks (and invalid UTF-8
// sequences) become "?".
std::string Utf8ToCp1252(const std::string& utf8);
std::string Cp1252ToUtf8(const std::string& cp1252);

QString Cp1252ToQString(const std::string& cp1252);
std::string QStringToCp1252(const QString& s);

} // namespace platform
