#include "arg_file.h"

namespace {

bool isBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\f'; }
bool isLineEnd(char ch) { return ch == '\r' || ch == '\n'; }

// Skips the line end at i (CR, LF or CR LF) and what the continued line starts with: its leading
// blanks, or a single backslash that protects them.
size_t continueLine(const std::string& text, size_t i)
{
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
        ++i;
    }
    ++i;
    if (i < text.size() && text[i] == '\\') {
        return i + 1;
    }
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    return i;
}

}  // namespace

// States: between arguments, in a bare part of an argument, in a quoted part (quote = ' or ").
// A backslash escapes only inside quotes, except that before a line end it continues the line
// in both states.
std::vector<std::string> splitArgumentFile(const std::string& text)
{
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    char quote = 0;
    size_t i = 0;
    auto finish = [&] {
        if (inArgument) {
            arguments.push_back(current);
        }
        current.clear();
        inArgument = false;
    };
    while (i < text.size()) {
        char ch = text[i];
        if (ch == '\\' && i + 1 < text.size() && isLineEnd(text[i + 1])) {
            i = continueLine(text, i + 1);
            continue;
        }
        if (quote) {
            if (ch == quote) {
                quote = 0;
            } else if (isLineEnd(ch)) {
                quote = 0;  // an open quote ends with its line, and the line end separates
                finish();
            } else if (ch == '\\' && i + 1 < text.size()) {
                char next = text[++i];
                current += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : next == 'f' ? '\f' : next;
            } else {
                current += ch;
            }
            ++i;
            continue;
        }
        if (isBlank(ch) || isLineEnd(ch)) {
            finish();
        } else if (ch == '#' && !inArgument) {
            while (i < text.size() && !isLineEnd(text[i])) {
                ++i;
            }
            continue;
        } else if (ch == '"' || ch == '\'') {
            quote = ch;
            inArgument = true;
        } else {
            current += ch;
            inArgument = true;
        }
        ++i;
    }
    finish();
    return arguments;
}
