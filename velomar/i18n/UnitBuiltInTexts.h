#pragma once
// The three texts carried inside the program: the English and the Brazilian
// Portuguese language, and the static text of language-independent values with
// their per-language variants. All bytes are Windows-1252.
#include <span>
#include <string>

// One glossary entry of the built-in languages, in the order of the texts.
struct TBuiltInText {
    const char* Key;
    const char* English;
    const char* Portuguese;
};

// Every glossary key of the program with both wordings.
std::span<const TBuiltInText> BuiltInCatalogue();

// "[Glossary]", then one "key=text" line per entry, then a few blank lines:
// a saved copy is a valid language file.
std::string BuiltInEnglishText();
std::string BuiltInPortugueseText();

// Base addresses ("http://host[:port]", no trailing slash) of the maker's web
// site and of its Brazilian site. The update and report service take their
// addresses from the static text, so a test points them at its own server by
// building the static text over other sites.
struct TServiceSites {
    std::string General;
    std::string Brazil;
};
TServiceSites DefaultServiceSites();

// "General.<key>=value" lines, then "Português.<key>=value" lines.
std::string BuiltInStaticText(const TServiceSites& sites = DefaultServiceSites());
