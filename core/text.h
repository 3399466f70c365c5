// Conversions between UTF-8, UTF-16 and the Windows-1252 code page, for code that cannot ask Windows.
#pragma once

#include <string>

// UTF-8 to UTF-16; false on malformed input.
bool utf8ToUtf16(const std::string& utf8, std::u16string& out);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(const std::u16string& utf16);
// UTF-8 to Windows-1252; false when a character has no Windows-1252 form.
bool utf8ToCp1252(const std::string& utf8, std::string& out);
// Windows-1252 to UTF-8 (bytes with no assignment map to the same code point).
std::string cp1252ToUtf8(const std::string& cp1252);
// Each byte widened to one UTF-16 unit, as a wide printf's %S does in the C locale.
std::u16string widenBytes(const std::string& narrow);
// ASCII-only to UTF-16 (literals).
std::u16string asciiToUtf16(const char* ascii);
