#include "core/splash_rules.h"

double splashScaleFactor(double dpi) { return dpi > 0 ? dpi / 96.0 : 1.0; }

int splashStartOffset(double scale) { return (static_cast<int>(scale * 100) - 100) / 25; }

int chooseSplashOffset(int startOffset, const std::function<bool(int)>& exists)
{
    if (startOffset < 0) startOffset = 0;
    for (int offset = startOffset; offset <= kSplashMaxOffset; ++offset)
        if (exists(offset)) return offset;
    for (int offset = startOffset - 1; offset >= 1; --offset)
        if (exists(offset)) return offset;
    return 0;
}

double splashImageScale(int offset) { return 1.0 + 0.25 * offset; }

bool splashNeedsRescale(double scale, double imageScale)
{
    double ratio = scale / imageScale;
    return ratio > 1.1 || ratio < 0.9;
}
