// Text rules of the Java runtime search: the search list, which entries the fallback pass retries,
// the order in which registry version names are tried, the VM sub-directories, the paths derived
// from a java.exe and the first line of a runtime-location file. Pure functions over narrow text
// (ANSI code page); the file system and the registry live on the Windows side.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/java_version.h"

// The key below HKCU and HKLM whose subkeys name located runtimes (their java.exe, "/" for "\").
constexpr char kLocatedRuntimesKey[] = "SOFTWARE\\fenmoor\\tallow\\locatedjvms";

// One entry of the search list: a type letter and its (unexpanded) argument.
struct SearchEntry {
    char type = 0;
    std::string argument;
};

// Splits the list at ";" into entries; the first empty entry ends the list.
std::vector<SearchEntry> parseSearchList(const std::string& list);

// Absolute for the fallback pass: at least two characters and the second is ":", or it begins
// with "\\".
bool isAbsoluteSearchPath(const std::string& path);

// Whether the fallback pass tries the entry: an A, B or R entry with a relative argument, and
// every B entry.
bool retriedInFallbackPass(const SearchEntry& entry);

// Whether a path starts with a drive ("X:\", also after one leading double quote) or with "\\";
// any other path is taken relative to the launcher's directory.
bool startsWithDriveOrUnc(const std::string& path);

// Keeps the first character and turns every later run of backslashes into one.
std::string collapseBackslashesAfterFirst(const std::string& path);

// The registry version names to try, in order: those that pass the bounds in prefix mode, sorted
// ascending as byte strings ("17" < "9", "1.8" < "1.8.0_172"), then taken from the last to the first.
std::vector<std::string> registryVersionsToTry(std::vector<std::string> names, const VersionList& min,
                                               const VersionList& max);

// The VM sub-directories that hold jvm.dll, in the order tried: the configured one when not
// empty, then "server", "client", "j9vm", "hotspot", "jrockit" (a configured "server" comes twice).
std::vector<std::string> vmSubdirectories(const std::string& configured);

// The directory of a java.exe path without its final separator (empty when there is none).
std::string javaBinDirectory(const std::string& javaExe);

// The JVM home: java.exe's directory with its separator followed by "..".
std::string javaHomeOf(const std::string& javaExe);

// A JDK's runtime below "jre": the path up to and including the separator before the final file
// name, followed by "..\jre\bin\java.exe".
std::string nestedJreJavaExe(const std::string& javaExe);

// The first line of a runtime-location file's content without trailing CR and LF characters, at
// most maxLength characters; empty when the content is empty.
std::string firstLocationLine(const std::string& content, size_t maxLength);

// Whether a shared or located runtime path is considered: paths that contain "stw_jres" need
// admitMarked, all others admitUnmarked.
bool runtimePathAdmitted(const std::string& path, bool admitUnmarked, bool admitMarked);

// The index of the highest version (the first of equal highest ones); versions.size() when empty.
size_t highestVersionIndex(const std::vector<std::string>& versions);

// --- Runtimes recorded by today's installers (search entry V) ---------------------------------

// One way a runtime installer records its installations below SOFTWARE of HKLM or HKCU.
// Nested: key\<version>\<vm>\MSI holds valueName (every <version> and every <vm> subkey is read);
// flat: key\<name> holds valueName.
struct VendorLayout {
    const char* key;        // below the root, e.g. "SOFTWARE\Eclipse Adoptium\JDK"
    bool nested;
    const char* valueName;  // the installation directory
};
// Every layout the V entry reads, in the order read.
const std::vector<VendorLayout>& vendorLayouts();

// The order in which passing candidates are tried: highest version first, equal versions in the
// order they were found. Returns indices into versions.
std::vector<size_t> versionOrder(const std::vector<std::string>& versions);

// --- The account of a search that found nothing ---------------------------------------------------

// Why a candidate was not used. None: it passed its check (and was then tried or left untried).
enum class Refusal {
    None,
    Missing,          // no java.exe there
    NoVersion,        // running it gave no version
    BelowMinimum,     // version and bound recorded
    AboveMaximum,
    Beta,
    NoWindowedExe,    // javaw.exe required but missing
    NonWorking,       // on the list of runtimes whose jvm.dll did not load
    NoJvmDll,         // no jvm.dll in any VM directory
    OtherBitness,     // jvm.dll built for the other bitness
    LoadFailed,       // jvm.dll did not load; Win32 error recorded
    NoShortPath,      // the code page cannot show the path and it has no short form
};

struct ConsideredCandidate {
    std::string source;   // where it came from: entry letter and argument, registry key, variable
    std::string path;     // UTF-8
    Refusal reason = Refusal::None;
    std::string version;  // the version found, when one was
    std::string bound;    // the bound it missed (BelowMinimum, AboveMaximum)
    unsigned long error = 0;  // Win32 error (LoadFailed)
};

// Which bound a version misses (BelowMinimum or AboveMaximum), or None when both pass (the
// full test, no prefix mode).
Refusal boundRefusal(const std::string& version, const VersionList& min, const VersionList& max);

// Adds a candidate to the account in the order first seen; the same source and path seen again
// updates its reason only while that still says None, so a runtime whose jvm.dll failed keeps
// that reason when it is later refused as non-working.
void noteCandidate(std::vector<ConsideredCandidate>& account, const ConsideredCandidate& candidate);

// The reason as shown: "missing", "version 1.7.0_80 below the minimum 1.8", "jvm.dll failed to
// load (Win32 error 126)"...
std::string refusalText(const ConsideredCandidate& candidate);

// The summary block: a heading line, then one line per candidate in order.
std::vector<std::string> searchSummary(const std::vector<ConsideredCandidate>& account);
