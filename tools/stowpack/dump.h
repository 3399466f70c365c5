// Shows what an installer carries: overlay location, header, keys, messages, language sets,
// payload files and whether the checksum matches.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

// Prints the report to out; returns 0 when the file reads completely and its checksum (if
// present) matches, 1 otherwise with the failing field named on err.
int dumpInstaller(const std::filesystem::path& installer, const std::string& languageCode, std::ostream& out,
                  std::ostream& err);
