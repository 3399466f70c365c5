#include "windows/jvm_candidates.h"

#include <optional>

#include "core/config_keys.h"
#include "windows/base/file_probe.h"
#include "windows/base/path_forms.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/native_log.h"

namespace {

struct Account {
    std::vector<ConsideredCandidate> entries;  // every candidate of this search, in order
    std::string source;                        // UTF-8: where the candidates under test come from
};

Account& account()
{
    static Account* instance = new Account();
    return *instance;
}

}  // namespace

std::string utf8(const std::wstring& text) { return wideToNarrow(text, CP_UTF8); }
std::string utf8FromAnsi(const std::string& ansi) { return utf8(narrowToWide(ansi)); }

std::string& searchSource() { return account().source; }
void setSource(const std::string& ansiLabel) { account().source = utf8FromAnsi(ansiLabel); }

void note(const std::string& path, Refusal reason, const std::string& version, DWORD error)
{
    ConsideredCandidate candidate{account().source, utf8FromAnsi(path), reason, version, {}, error};
    if (reason == Refusal::BelowMinimum) candidate.bound = versionBounds().minimumText;
    if (reason == Refusal::AboveMaximum) candidate.bound = versionBounds().maximumText;
    noteCandidate(account().entries, candidate);
}

bool checkCandidate(Candidate& candidate, CheckRules rules)
{
    bool passed = checkJavaExe(candidate.javaExe, rules, candidate.version);
    const CheckOutcome& outcome = lastCheckOutcome();
    note(candidate.javaExe, passed ? Refusal::None : outcome.reason, outcome.version);
    return passed;
}

bool locateCandidate(const std::string& home, std::string& javaExe)
{
    if (locateJavaExe(home, javaExe)) return true;
    note(home + "\\lib\\tools.jar", Refusal::Missing);
    return false;
}

bool narrowUsable(const std::wstring& path, std::string& narrow)
{
    bool viaShortForm = false;
    std::optional<std::string> form = ansiPathForm(path, &viaShortForm);
    if (!form) {
        logInfo(L"No short path name for %s, which the ANSI code page cannot show", path.c_str());
        noteCandidate(account().entries, {account().source, utf8(path), Refusal::NoShortPath, {}, {}, 0});
        return false;
    }
    if (viaShortForm) logInfo(L"Using short path name %S for %s", form->c_str(), path.c_str());
    narrow = *form;
    return true;
}

const std::vector<ConsideredCandidate>& searchAccount() { return account().entries; }
void clearSearchAccount() { account().entries.clear(); }

bool locateJavaExe(const std::string& home, std::string& javaExe)
{
    javaExe = home + "\\jre\\bin\\java.exe";
    if (configFlag(keys::kRequireJdk)) return fileExists(home + "\\lib\\tools.jar");
    if (!fileExists(javaExe)) javaExe = home + "\\bin\\java.exe";
    return true;
}
