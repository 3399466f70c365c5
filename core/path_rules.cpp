#include "core/path_rules.h"

bool isAbsolutePath(const std::u16string& path)
{
    std::u16string text = (!path.empty() && path[0] == u'"') ? path.substr(1) : path;
    if (text.size() < 3) return false;
    if (text[0] == u'\\' && text[1] == u'\\') return true;
    return text[1] == u':' && text[2] == u'\\';
}

std::u16string collapseBackslashes(const std::u16string& path)
{
    std::u16string result;
    result.reserve(path.size());
    size_t start = 0;
    while (start < path.size() && path[start] == u'\\') result += path[start++];
    for (size_t i = start; i < path.size(); ++i) {
        if (path[i] == u'\\' && !result.empty() && result.back() == u'\\' && i > start) continue;
        result += path[i];
    }
    return result;
}
