// The packer's entry point on Windows: the arguments arrive as UTF-16 and go on as UTF-8, the
// form every path and text takes inside the packer (the ANSI argument vector would lose
// characters outside the code page).
#include <iostream>
#include <string>
#include <vector>

#include "core/text.h"
#include "tools/stowpack/cli.h"

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        std::u16string text;
        for (const wchar_t* unit = argv[i]; *unit != L'\0'; ++unit) text.push_back(static_cast<char16_t>(*unit));
        arguments.push_back(utf16ToUtf8(text));
    }
    return runStowpack(arguments, std::cout, std::cerr);
}
