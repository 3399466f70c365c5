// Rules of the service and account natives that need no Windows: the dependency list of a service
// configuration, the local system account's names, the stop wait's deadline and the display of
// account names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Characters a dependency list may hold, its NULs included.
constexpr std::size_t kDependencyListCapacity = 8192;

// Comma-separated service names (up to the first NUL) as a list of NUL-terminated names ending
// with one more NUL; empty pieces are dropped, so empty text gives two NULs. False (out untouched) when the list would
// need more than kDependencyListCapacity characters.
bool dependencyList(const std::u16string& names, std::u16string& out);

// "LocalSystem" for exactly "NT AUTHORITY\System" and "NT AUTHORITY\LocalSystem" (letter case
// counts); any other account, other letter cases included, unchanged.
std::u16string serviceAccountName(const std::u16string& account);

// True when a stop wait has run out at now: no progress for longer than the service's wait hint
// and longer than the caller's time-out since the start. Tick counts wrap; differences are taken
// modulo 2^32.
bool stopWaitExpired(std::uint32_t now, std::uint32_t start, std::uint32_t lastProgress, std::uint32_t waitHint,
                     std::uint32_t timeout);

// The most restart actions a failure-action list is built with.
constexpr int kMaxRestartActions = 1024;
// The failure actions' types in order (1 restart, 0 none): count restarts and a final none when
// count is above 0, one restart for count 0, no actions when restart is false. False (types
// untouched) for a count outside 0..kMaxRestartActions when restarting.
bool restartActionTypes(bool restart, int count, std::vector<int>& types);

// What adding a local group for a new user came to, by the status of the group add: created (0),
// an existing group accepted (ERROR_ALIAS_EXISTS 1379 or NERR_GroupExists 2223 when the group need
// not be new), or a failure.
enum class GroupAdd { Created, Existing, Failed };
GroupAdd groupAddOutcome(std::uint32_t status, bool mustBeNew);

// The fixed name of the three service accounts' SIDs (S-1-5-18, -19, -20); empty for others.
std::u16string serviceAccountForSid(const std::u16string& sid);
// True for SIDs of the built-in domain (S-1-5-32-...).
bool isBuiltinSid(const std::u16string& sid);
// An account name as shown: the name alone when nameOnly; "domain\name" for an account with a
// domain outside the built-in one; ".\name" otherwise.
std::u16string displayedAccountName(const std::u16string& sid, const std::u16string& domain,
                                    const std::u16string& name, bool nameOnly);
