// Shows what an installer carries (dump) and checks it for release pipelines (verify).
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

// Prints the report to out; returns 0 when the file reads completely and its checksum (if
// present) matches, 1 otherwise with the failing field named on err. Bytes after the covered
// region that are not a certificate table are shown and warned about on err.
int dumpInstaller(const std::filesystem::path& installer, const std::string& languageCode, std::ostream& out,
                  std::ostream& err);

// Returns 0 when the block and the payload records read completely, a checksum is present and it
// matches; 1 otherwise, naming the failing field on err. Says whether a signature is present.
int verifyInstaller(const std::filesystem::path& installer, std::ostream& out, std::ostream& err);
