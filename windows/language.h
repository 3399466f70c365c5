// The user's language, for the message sets and the VM's user.language / user.country.
#pragma once

#include <string>
#include <vector>

// The locale code ("de", "pt_BR", "no_NO_NY") from "-Dstowline.language=", else the Windows
// display language (or, with "-Dsun.locale.formatasdefault=true", the regional format setting).
std::string selectLanguage(const std::vector<std::wstring>* arguments);
