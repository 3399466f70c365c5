// SIDs as text for the account and object-picker natives.
#pragma once

#include <windows.h>

#include <string>

// Whether advapi32 offers ConvertSidToStringSidW (bound at run time).
bool sidTextAvailable();
// The SID as text ("S-1-5-..."); empty when the conversion fails or the function is missing.
std::wstring sidText(PSID sid);
