// Rules for the download status line, whose printf format comes from the message table (and so
// from a translation): it may only consume the four double values the launcher passes.
#pragma once

#include <cstddef>
#include <string>

// The largest width or precision a status-line conversion may ask for.
constexpr size_t kStatusFieldLimit = 99;

// True when every conversion of format is "%%" or a floating conversion (e, E, f, g, G with
// flags, width and precision as digits, each at most kStatusFieldLimit) and there are at most
// maxValues of the latter.
bool formatTakesOnlyDoubles(const std::u16string& format, size_t maxValues);
