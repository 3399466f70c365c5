#include "core/device_names.h"

bool isDeviceName(const std::u16string& component)
{
    std::u16string base = component.substr(0, component.find(u'.'));
    while (!base.empty() && base.back() == u' ') base.pop_back();
    if (base.size() < 3 || base.size() > 7) return false;
    std::u16string upper = base;
    for (char16_t& c : upper)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    for (const char16_t* device : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"})
        if (upper == device) return true;
    if (upper.size() != 4 || (upper.compare(0, 3, u"COM") != 0 && upper.compare(0, 3, u"LPT") != 0)) return false;
    // Windows maps the superscript digits to the ports as well, so "COM\u00B9" is the port COM1.
    const char16_t digit = upper[3];
    return (digit >= u'0' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' || digit == u'\u00B3';
}

bool isDeviceNameCp1252(const std::string& component)
{
    // Windows-1252 and Latin-1 agree on every byte the rule looks at (ASCII, B2, B3, B9).
    std::u16string wide;
    wide.reserve(component.size());
    for (char c : component) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
    return isDeviceName(wide);
}
