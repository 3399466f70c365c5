#include "core/splash_rules.h"

#include <algorithm>

namespace {

// No image is drawn for more than this scale; a larger one (an absurd DPI, or infinity from
// J2D_UISCALE) would only ask for a huge rescale, so it is held here.
constexpr double kSplashMaxScale = 1.0 + 0.25 * kSplashMaxOffset;

}  // namespace

double splashScaleFactor(double dpi)
{
    if (!(dpi > 0)) return 1.0;  // also NaN
    return std::min(dpi / 96.0, kSplashMaxScale);
}

int splashStartOffset(double scale)
{
    if (!(scale == scale)) return 0;
    // Clamped before the cast, which is undefined outside the range of int.
    double percent = std::clamp(scale * 100, -1000.0, 100.0 + 25.0 * (kSplashMaxOffset + 1));
    return (static_cast<int>(percent) - 100) / 25;
}

int chooseSplashOffset(int startOffset, const std::function<bool(int)>& exists)
{
    // Offsets above the last one cannot exist; starting past them probes the same ones downward.
    startOffset = std::clamp(startOffset, 0, kSplashMaxOffset + 1);
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
