#include "report.h"

#include <windows.h>

#include <cstdio>

namespace report {

namespace {

// Each record is one WriteFile on a handle opened for appending only: the system moves every
// write to the end of the file, so three DLLs (and threads) writing the same report never
// interleave within a line, and a record is on disk before the caller goes on.
void appendToFile(const std::string& text)
{
    wchar_t path[32768];
    DWORD length = ::GetEnvironmentVariableW(L"TEST_VM_REPORT", path, 32768);
    if (length == 0 || length >= 32768) {
        return;
    }
    HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
}

void appendHex(std::string& out, unsigned value)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", value);
    out += buffer;
}

bool escapeAscii(std::string& out, unsigned ch)
{
    switch (ch) {
    case '"': out += "\\\""; return true;
    case '\\': out += "\\\\"; return true;
    case '\n': out += "\\n"; return true;
    case '\r': out += "\\r"; return true;
    case '\t': out += "\\t"; return true;
    default: break;
    }
    if (ch < 0x20 || ch == 0x7f) {
        appendHex(out, ch);
        return true;
    }
    return false;
}

}  // namespace

void line(const std::string& record) { appendToFile(record + "\n"); }

void lineAndStderr(const std::string& record)
{
    line(record);
    std::string text = record + "\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string quote(const std::string& utf8)
{
    std::string out = "\"";
    for (unsigned char ch : utf8) {
        if (!escapeAscii(out, ch)) {
            out += static_cast<char>(ch);
        }
    }
    return out + "\"";
}

std::string quote(const std::u16string& utf16)
{
    std::string out = "\"";
    for (size_t i = 0; i < utf16.size(); ++i) {
        unsigned unit = utf16[i];
        unsigned codePoint = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            codePoint = 0x10000 + ((unit - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            appendHex(out, unit);
            continue;
        }
        if (codePoint < 0x80) {
            if (!escapeAscii(out, codePoint)) {
                out += static_cast<char>(codePoint);
            }
        } else if (codePoint < 0x800) {
            out += static_cast<char>(0xC0 | (codePoint >> 6));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        } else if (codePoint < 0x10000) {
            out += static_cast<char>(0xE0 | (codePoint >> 12));
            out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (codePoint >> 18));
            out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        }
    }
    return out + "\"";
}

void abortProcess(unsigned exitCode)
{
    ::TerminateProcess(::GetCurrentProcess(), exitCode);
    for (;;) {
        ::Sleep(INFINITE);  // TerminateProcess on the own process does not return
    }
}

}  // namespace report
