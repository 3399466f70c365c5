// libFuzzer target: command-line splitting. Any argument vector quoted by the usual rules and
// joined splits back into the same vector; splitting any text without backslash rules keeps
// every character that is not a separator or a quote.
#include <algorithm>

#include "core/command_line.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

// Quotes one argument so that the backslash rules give it back: 2n+1 backslashes before a
// quote, 2n before the closing one.
std::u16string quoted(const std::u16string& argument)
{
    std::u16string out = u"\"";
    size_t backslashes = 0;
    for (char16_t c : argument) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') {
            out.append(backslashes * 2 + 1, u'\\');
        } else {
            out.append(backslashes, u'\\');
        }
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, u'\\');
    return out + u"\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Arguments are separated by 0x0000 units in the input.
    const std::u16string wide = fuzzWide(data, size);
    std::vector<std::u16string> arguments(1);
    for (char16_t c : wide) {
        if (c == 0) {
            arguments.emplace_back();
        } else {
            arguments.back() += c;
        }
    }
    std::u16string joined;
    for (const std::u16string& argument : arguments) joined += (joined.empty() ? u"" : u" ") + quoted(argument);
    std::vector<std::u16string> split;
    splitCommandLine(joined, split, true);
    FUZZ_CHECK(split == arguments);

    std::vector<std::u16string> literal;
    splitCommandLine(wide, literal, false);
    auto plain = [](char16_t c) { return c != u' ' && c != u'\t' && c != u'"'; };
    size_t kept = 0;
    for (const std::u16string& argument : literal) {
        kept += static_cast<size_t>(std::count_if(argument.begin(), argument.end(), plain));
    }
    FUZZ_CHECK(kept == static_cast<size_t>(std::count_if(wide.begin(), wide.end(), plain)));
    return 0;
}
