// Replacing launcher variables ("%TALLOW_EXEDIR%", "${launcher:sys.tempDir}", "${PATH}", ...) in text.
#pragma once

#include <string>
#include <utility>
#include <vector>

// One variable and the text that replaces it.
struct Variable {
    std::u16string name;
    std::u16string value;
};

// The table in replacement order: the launcher's own variables, then "${NAME}" for every
// environment variable and again with NAME in upper case.
struct LauncherVariables {
    std::u16string launcherDirectory;
    std::u16string temporaryDirectory;
    std::u16string jvmHome;
    std::u16string systemTempDirectory;
    std::vector<std::pair<std::u16string, std::u16string>> environment;  // name, value
};
std::vector<Variable> variableTable(const LauncherVariables& values);

// Replaces each variable of table, in order, at every occurrence (case-sensitive); inserted text
// is not scanned again. report is called for every replacement made (variable, value, text after).
// Values that name later variables multiply the text with every step, so the expansion stops
// where one more replacement would make the text longer than kExpandedTextLimit units, and
// returns it as expanded that far.
constexpr size_t kExpandedTextLimit = 1u << 20;
std::u16string expandVariableTable(const std::u16string& text, const std::vector<Variable>& table,
                                   void (*report)(const Variable&, const std::u16string&, void*) = nullptr,
                                   void* context = nullptr);
