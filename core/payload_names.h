// Names of the payload's included files and the rule that keeps them inside the extraction
// directory.
//
// Names come from one ';'-separated list (the included file names of the config block); a name
// may hold one backslash-separated directory level ("images\logo.png"). The payload itself
// carries no names, so a name is the only thing that decides where a payload file lands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The names of list in order, stopping at the first empty name or after count names.
std::vector<std::string> includedFileNames(const std::string& list, int64_t count);

// False for a name that could leave the directory it is joined to or that names no plain file
// there: empty, a drive or stream (":"), a leading "\" or "/", a ".." (or dots-only) component,
// an empty component, a device name (CON, NUL, COM1, ...), a wildcard or control character.
bool isSafePayloadName(const std::u16string& name);

// The text before the first backslash, or empty when name has none.
std::u16string firstDirectoryLevel(const std::u16string& name);

// True when path contains both "tlw" and ".tmp_dir": an extraction directory or a path inside one.
bool isExtractionDirectoryPath(const std::u16string& path);
