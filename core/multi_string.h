// REG_MULTI_SZ data as UTF-16 units: every text followed by a NUL, then one more NUL. An empty
// list is stored as a single NUL.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The data for texts in order, each cut at its first NUL as Win32 would read it. Nothing when a
// text is empty (its NUL would end the list early for every other reader) or when the data would
// be longer than maxUnits units.
std::optional<std::u16string> packMultiString(const std::vector<std::u16string>& texts, size_t maxUnits);

// The texts in units of data. Texts run to the next NUL or to the end of the data (a missing
// terminator never reads beyond it); a text starts only before the last unit, so the closing NUL
// makes no text of its own while an empty text between others is kept. One unit or none: no texts.
std::vector<std::u16string> unpackMultiString(const char16_t* data, size_t units);
