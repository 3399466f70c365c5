#include "core/service_rules.h"

bool dependencyList(const std::u16string& text, std::u16string& out)
{
    // A NUL ends the text, as it would for any Win32 reader; kept, it would end the list early.
    const std::u16string names = text.substr(0, text.find(u'\0'));
    std::u16string list;
    std::size_t begin = 0;
    while (begin <= names.size()) {
        std::size_t end = names.find(u',', begin);
        if (end == std::u16string::npos) end = names.size();
        if (end > begin) {
            // Checked before appending, so a long text never grows the list past the limit.
            if (list.size() + (end - begin) + 2 > kDependencyListCapacity) return false;
            list.append(names, begin, end - begin);
            list.push_back(u'\0');
        }
        begin = end + 1;
    }
    if (list.empty()) list.push_back(u'\0');
    list.push_back(u'\0');
    out = std::move(list);
    return true;
}

std::u16string serviceAccountName(const std::u16string& account)
{
    // Exactly these two spellings: callers that rely on another letter case reaching the service
    // manager unchanged keep getting that.
    if (account == u"NT AUTHORITY\\System" || account == u"NT AUTHORITY\\LocalSystem") return u"LocalSystem";
    return account;
}

bool stopWaitExpired(std::uint32_t now, std::uint32_t start, std::uint32_t lastProgress, std::uint32_t waitHint,
                     std::uint32_t timeout)
{
    const std::uint32_t quiet = now - lastProgress;
    const std::uint32_t waited = now - start;
    return quiet > waitHint && waited > timeout;
}

bool restartActionTypes(bool restart, int count, std::vector<int>& types)
{
    if (!restart) {
        types.clear();
        return true;
    }
    if (count < 0 || count > kMaxRestartActions) return false;
    if (count == 0) {
        types.assign(1, 1);
        return true;
    }
    types.assign(static_cast<std::size_t>(count), 1);
    types.push_back(0);
    return true;
}

GroupAdd groupAddOutcome(std::uint32_t status, bool mustBeNew)
{
    constexpr std::uint32_t kAliasExists = 1379;
    constexpr std::uint32_t kGroupExists = 2223;
    if (status == 0) return GroupAdd::Created;
    if ((status == kAliasExists || status == kGroupExists) && !mustBeNew) return GroupAdd::Existing;
    return GroupAdd::Failed;
}

std::u16string serviceAccountForSid(const std::u16string& sid)
{
    if (sid == u"S-1-5-18") return u"NT AUTHORITY\\System";
    if (sid == u"S-1-5-19") return u"NT AUTHORITY\\LocalService";
    if (sid == u"S-1-5-20") return u"NT AUTHORITY\\NetworkService";
    return {};
}

bool isBuiltinSid(const std::u16string& sid) { return sid.rfind(u"S-1-5-32-", 0) == 0; }

std::u16string displayedAccountName(const std::u16string& sid, const std::u16string& domain,
                                    const std::u16string& name, bool nameOnly)
{
    if (nameOnly) return name;
    if (!isBuiltinSid(sid) && !domain.empty()) return domain + u"\\" + name;
    return u".\\" + name;
}
