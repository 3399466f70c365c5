// libFuzzer target: variable expansion. A table whose every value equals its name leaves any
// text as it was; a table of names that do not occur in the text changes nothing either.
#include "core/expansion.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Units split at 0x0000: the text, then environment names and values in turns.
    const std::u16string wide = fuzzWide(data, size);
    std::vector<std::u16string> parts(1);
    for (char16_t c : wide) {
        if (c == 0) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    const std::u16string& text = parts[0];
    LauncherVariables values;
    for (size_t i = 1; i + 1 < parts.size() && values.environment.size() < 16; i += 2)
        values.environment.push_back({parts[i], parts[i + 1]});
    std::vector<Variable> table = variableTable(values);
    std::vector<Variable> identity = table;
    for (Variable& variable : identity) variable.value = variable.name;
    FUZZ_CHECK(expandVariableTable(text, identity) == text);

    std::vector<Variable> absent;
    for (const Variable& variable : table)
        if (!variable.name.empty() && text.find(variable.name) == std::u16string::npos) absent.push_back(variable);
    size_t reports = 0;
    FUZZ_CHECK(expandVariableTable(text, absent, [](const Variable&, const std::u16string&, void* count) {
                   ++*static_cast<size_t*>(count);
               }, &reports) == text);
    FUZZ_CHECK(reports == 0);
    expandVariableTable(text, table);
    return 0;
}
