#include "core/payload_names.h"

#include "core/device_names.h"

std::vector<std::string> includedFileNames(const std::string& list, int64_t count)
{
    std::vector<std::string> names;
    size_t start = 0;
    while (static_cast<int64_t>(names.size()) < count && start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        if (end == start) break;
        names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

namespace {

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Win32 drops trailing dots and blanks, so "..." and ". ." reach the file system as "." or "..".
bool isDotsOnly(const std::u16string& component)
{
    for (char16_t c : component)
        if (c != u'.' && c != u' ') return false;
    return true;
}

}  // namespace

bool isSafePayloadName(const std::u16string& name)
{
    if (name.empty() || isSeparator(name.front())) return false;
    for (char16_t c : name) {
        if (c < 0x20 || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<' || c == u'>' || c == u'|')
            return false;
    }
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !isSeparator(name[end])) ++end;
        std::u16string component = name.substr(start, end - start);
        if (component.empty() || isDotsOnly(component) || isDeviceName(component)) return false;
        start = end + 1;
    }
    return true;
}

std::u16string firstDirectoryLevel(const std::u16string& name)
{
    size_t backslash = name.find(u'\\');
    return backslash == std::u16string::npos ? std::u16string() : name.substr(0, backslash);
}

bool isExtractionDirectoryPath(const std::u16string& path)
{
    return path.find(u"tlw") != std::u16string::npos && path.find(u".tmp_dir") != std::u16string::npos;
}
