#include "core/status_format.h"

namespace {

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

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
        while (i < format.size() && isDigit(format[i])) ++i;
        if (i < format.size() && format[i] == u'.') {
            ++i;
            while (i < format.size() && isDigit(format[i])) ++i;
        }
        if (i >= format.size()) return false;
        char16_t conversion = format[i];
        if (conversion != u'f' && conversion != u'e' && conversion != u'E' && conversion != u'g' && conversion != u'G')
            return false;
        if (++values > maxValues) return false;
    }
    return true;
}
