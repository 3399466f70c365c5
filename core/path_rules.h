// Path text rules that need no file system.
#pragma once

#include <string>

// True when path (after one optional leading double quote) has ":\" as its second and third
// characters or begins with two backslashes; shorter than three characters is relative.
bool isAbsolutePath(const std::u16string& path);
// Turns every run of backslashes into one, except at the very start (a UNC "\\" stays).
std::u16string collapseBackslashes(const std::u16string& path);
