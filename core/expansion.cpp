#include "core/expansion.h"

#include "core/text.h"

namespace {

std::u16string upper(const std::u16string& text)
{
    std::u16string result = text;
    for (char16_t& c : result)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return result;
}

}  // namespace

std::vector<Variable> variableTable(const LauncherVariables& values)
{
    const std::u16string separator = u";";
    std::vector<Variable> table = {
        {u"%TALLOW_EXEDIR%", values.launcherDirectory},
        {u"%STOWLINE_EXEDIR%", values.launcherDirectory},
        {u"%TALLOW_TEMPDIR%", values.temporaryDirectory},
        {u"%STOWLINE_TEMPDIR%", values.temporaryDirectory},
        {u"%TALLOW_PATHLIST_SEPARATOR%", separator},
        {u"%STOWLINE_PATHLIST_SEPARATOR%", separator},
        {u"%TALLOW_JVM_HOME%", values.jvmHome},
        {u"%STOWLINE_JVM_HOME%", values.jvmHome},
        {u"${TALLOW_EXEDIR}", values.launcherDirectory},
        {u"${STOWLINE_EXEDIR}", values.launcherDirectory},
        {u"${TALLOW_TEMPDIR}", values.temporaryDirectory},
        {u"${STOWLINE_TEMPDIR}", values.temporaryDirectory},
        {u"${TALLOW_PATHLIST_SEPARATOR}", separator},
        {u"${STOWLINE_PATHLIST_SEPARATOR}", separator},
        {u"${TALLOW_JVM_HOME}", values.jvmHome},
        {u"${STOWLINE_JVM_HOME}", values.jvmHome},
        {u"${launcher:sys.launcherDirectory}", values.launcherDirectory},
        {u"${launcher:sys.launcherTempDirectory}", values.temporaryDirectory},
        {u"${launcher:sys.pathlistSeparator}", separator},
        {u"${launcher:sys.jvmHome}", values.jvmHome},
        {u"${launcher:sys.tempDir}", values.systemTempDirectory},
    };
    for (const auto& [name, value] : values.environment) {
        if (name.empty()) continue;
        table.push_back({u"${" + name + u"}", value});
        table.push_back({u"${" + upper(name) + u"}", value});
    }
    return table;
}

std::u16string expandVariableTable(const std::u16string& text, const std::vector<Variable>& table,
                                   void (*report)(const Variable&, const std::u16string&, void*), void* context)
{
    std::u16string result = text;
    std::u16string next;
    for (const Variable& variable : table) {
        if (variable.name.empty()) continue;
        size_t position = result.find(variable.name);
        if (position == std::u16string::npos) continue;
        // Built anew in one pass: replacing in place would move the tail once per occurrence.
        next.clear();
        size_t from = 0;
        bool limited = false;
        while (position != std::u16string::npos) {
            if (next.size() + (position - from) + variable.value.size() + (result.size() - position - variable.name.size()) >
                kExpandedTextLimit) {
                limited = true;
                break;
            }
            next.append(result, from, position - from);
            next += variable.value;
            from = position + variable.name.size();
            position = result.find(variable.name, from);
        }
        next.append(result, from, std::u16string::npos);
        result.swap(next);
        if (limited) return result;
        if (report) report(variable, result, context);
    }
    return result;
}
