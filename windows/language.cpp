#include "windows/language.h"

#include <windows.h>

#include "core/language_table.h"
#include "windows/base/system_functions.h"
#include "windows/base/wide_text.h"
#include "windows/native_log.h"

std::string selectLanguage(const std::vector<std::wstring>* arguments)
{
    LANGID languageId = static_cast<LANGID>(::GetUserDefaultLCID() & 0xFFFF);
    bool formatAsDefault = false;
    if (arguments != nullptr) {
        std::vector<std::u16string> converted;
        for (const std::wstring& argument : *arguments) converted.push_back(toU16(argument));
        LanguageArguments scanned = scanLanguageArguments(converted);
        formatAsDefault = scanned.formatAsDefault;
        logInfo(L"sun.locale.formatasdefault is %S", formatAsDefault ? "true" : "false");
        if (scanned.manual) {
            std::string code = wideToNarrow(toWide(scanned.manualCode), CP_ACP);
            logInfo(L"manual language/country is %S", code.c_str());
            return code;
        }
    }
    if (!formatAsDefault) {
        auto getUiLanguage = KERNEL_FUNCTION(GetUserDefaultUILanguage);
        if (getUiLanguage != nullptr) languageId = getUiLanguage();
    }
    std::string code = localeCodeForLanguageId(languageId);
    logInfo(L"language/country is %S", code.c_str());
    return code;
}
