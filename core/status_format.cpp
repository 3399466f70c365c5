#include "core/status_format.h"

namespace {

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Skips a width or precision; false when it exceeds the limit, since the formatter sizes its
// buffer from what the format asks for.
bool boundedNumber(const std::u16string& format, size_t& i)
{
    size_t value = 0;
    for (; i < format.size() && isDigit(format[i]); ++i) {
        value = value * 10 + static_cast<size_t>(format[i] - u'0');
        if (value > kStatusFieldLimit) return false;
    }
    return true;
}

}  // namespace

bool formatTakesOnlyDoubles(const std::u16string& format, size_t maxValues)
{
    size_t values = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != u'%') continue;
        if (++i >= format.size()) return false;
        if (format[i] == u'%') continue;
        while (i < format.size() && (format[i] == u'-' || format[i] == u'+' || format[i] == u' ' ||
                                     format[i] == u'#' || format[i] == u'0')) {
            ++i;
        }
        if (!boundedNumber(format, i)) return false;
        if (i < format.size() && format[i] == u'.') {
            ++i;
            if (!boundedNumber(format, i)) return false;
        }
        if (i >= format.size()) return false;
        char16_t conversion = format[i];
        if (conversion != u'f' && conversion != u'e' && conversion != u'E' && conversion != u'g' && conversion != u'G')
            return false;
        if (++values > maxValues) return false;
    }
    return true;
}
