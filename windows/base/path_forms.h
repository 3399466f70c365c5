// The long, short and full forms of a path, of any length.
#pragma once

#include <optional>
#include <string>

// The long form; empty when the system has none (e.g. the path does not exist).
std::wstring longPathWide(const std::wstring& path);
// Narrow on purpose where used: its long form shows "?" for what the code page cannot hold.
std::string longPathNarrow(const std::string& path);
// The short (8.3) form; empty when the system has none.
std::wstring shortPathWide(const std::wstring& path);
std::string shortPathNarrow(const std::string& path);
// The full path; path itself when it cannot be made full.
std::wstring fullPathWide(const std::wstring& path);
std::string fullPathNarrow(const std::string& path);

// The form of path the ANSI code page carries exactly: the path itself when it survives the round
// trip (a best-fit mapping would name another file), else its short form, which must exist and
// survive it. Nothing when neither does (no short names on that volume); *viaShortForm tells which.
std::optional<std::string> ansiPathForm(const std::wstring& path, bool* viaShortForm = nullptr);
