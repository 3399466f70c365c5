// Choosing the splash image for a display scale: images are resources 10000 + n drawn for the
// scale 1 + 0.25 * n, n = 0 ... 64.
#pragma once

#include <functional>

constexpr int kSplashResourceBase = 10000;
constexpr int kSplashMaxOffset = 64;

// The scale factor of a horizontal DPI: dpi / 96 when positive, else 1; at most 17, the scale
// of the last image.
double splashScaleFactor(double dpi);

// The image offset the search starts from: (truncated scale * 100 - 100) / 25, at most 65 (past
// the last image); 0 for NaN.
int splashStartOffset(double scale);

// The image to use: the start offset, else the next higher offsets up to 64, else the lower ones
// down to 1, else 0; exists tells whether resource 10000 + offset is present and is asked only
// about offsets 0 ... 64.
int chooseSplashOffset(int startOffset, const std::function<bool(int)>& exists);

// The scale an image was drawn for.
double splashImageScale(int offset);

// Whether an image drawn for imageScale must be rescaled for scale (ratio above 1.1 or below 0.9).
bool splashNeedsRescale(double scale, double imageScale);
