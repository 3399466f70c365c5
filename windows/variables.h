// Launcher and environment variables in configured text.
#pragma once

#include <string>

// Replaces the launcher variables and "${NAME}" environment references in text. With ansiUsable
// the launcher and system temp directories take their ANSI-usable form (text handed to the VM),
// else their long Unicode form (paths the launcher opens itself).
std::wstring expandVariables(const std::wstring& text, bool ansiUsable);
// The same over narrow text in the ANSI code page.
std::string expandVariablesNarrow(const std::string& text);

// The JVM home once a runtime was chosen (java.exe's directory + "..").
void setJvmHome(const std::wstring& home);
