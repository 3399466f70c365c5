// splashscreen.dll double: records what the launcher shows, shows nothing.
#include <cstdio>
#include <cstring>
#include <string>

#include "report.h"

namespace {

const char* imageFormat(const unsigned char* data, int size)
{
    if (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) {
        return "png";
    }
    if (size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0)) {
        return "gif";
    }
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
        return "jpeg";
    }
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
        return "bmp";
    }
    return "unknown";
}

}  // namespace

extern "C" {

__declspec(dllexport) void SplashInit() { report::line("splash-init"); }

__declspec(dllexport) int SplashLoadMemory(void* data, int size)
{
    bool usable = data && size > 0;
    report::line("splash-load-memory " + std::to_string(size) + " " +
                 (usable ? imageFormat(static_cast<const unsigned char*>(data), size) : "unknown"));
    return usable ? 1 : 0;
}

__declspec(dllexport) void SplashSetScaleFactor(float factor)
{
    char text[64];
    std::snprintf(text, sizeof text, "splash-scale-factor %g", static_cast<double>(factor));
    report::line(text);
}

__declspec(dllexport) void SplashClose() { report::line("splash-close"); }

}  // extern "C"
