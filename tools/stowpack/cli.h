// The stowpack command line, separate from main() so tests can run it in-process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Exit codes: 0 done, 1 an I/O failure or a damaged installer, 2 a bad project or usage.
constexpr int kExitFailure = 1;
constexpr int kExitBadInput = 2;

// Runs stowpack with arguments (without the program name); reports go to out, errors to err.
int runStowpack(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
