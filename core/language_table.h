// The Windows language identifier to Java locale code table, and the language arguments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LocaleRow {
    uint16_t languageId;
    const char* code;
};

// The 215 rows in search order.
const std::vector<LocaleRow>& localeTable();

// The code of the row whose identifier equals languageId, else of the row equal to its primary
// language (languageId & 0x3FF), else "en".
std::string localeCodeForLanguageId(uint16_t languageId);

// What "-Dsun.locale.formatasdefault=" and "-Dstowline.language=" among the arguments ask for.
struct LanguageArguments {
    bool formatAsDefault = false;   // the last formatasdefault argument said exactly "true"
    bool manual = false;            // a stowline.language argument was given
    std::u16string manualCode;      // the last one's value
};

// Scans all arguments in order (exact, case-sensitive comparisons).
LanguageArguments scanLanguageArguments(const std::vector<std::u16string>& arguments);

// Language (first two characters) and country (characters 4 and 5 when the code has exactly five).
std::string localeLanguage(const std::string& code);
std::string localeCountry(const std::string& code);
