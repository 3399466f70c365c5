// Splitting a command line into arguments.
#pragma once

#include <string>
#include <vector>

// Appends each argument of text to arguments. With backslash rules, 2n backslashes before a quote
// give n backslashes and the quote delimits, 2n+1 give n and a literal quote; without them every
// backslash is literal.
void splitCommandLine(const std::u16string& text, std::vector<std::u16string>& arguments, bool backslashRules);
