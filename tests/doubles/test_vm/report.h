// The report file shared by the test VM, jli.dll and splashscreen.dll: one UTF-8 record per line,
// appended to the file named by TEST_VM_REPORT.
#pragma once

#include <string>

namespace report {

// Appends one record (a line feed is added). Does nothing when TEST_VM_REPORT is unset.
void line(const std::string& record);
// The same, and also writes the record to standard error.
void lineAndStderr(const std::string& record);

// Text quoted with JSON escapes: UTF-8 input, passed through except quotes, backslashes and
// control characters.
std::string quote(const std::string& utf8);
// UTF-16 text quoted the same way; unpaired surrogates become \uXXXX.
std::string quote(const std::u16string& utf16);

// Ends the process at once with exitCode (no DLL detach, no at-exit handlers).
[[noreturn]] void abortProcess(unsigned exitCode);

}  // namespace report
