// The native splash screen: an image resource of the executable shown through the runtime's
// splashscreen.dll, chosen and if need be rescaled for the primary monitor's DPI.
#pragma once

#include <windows.h>

#include <objidl.h>

#include <cstdint>
#include <string>
#include <vector>

// Shows the splash through "<jvmHome>\bin\splashscreen.dll"; reports and carries on without one
// when the library or its functions are missing.
void showSplash(const std::string& jvmHome, int splashValue);

// Closes the splash screen when one is shown; does nothing otherwise.
void closeSplash();

// The primary monitor's horizontal DPI: J2D_UISCALE when valid, else shcore's effective DPI, else
// Direct2D's desktop DPI; 0 when undetermined. The environment variable is read once.
double primaryMonitorDpi();

// The image offset n (resource 10000 + n of module) for scale, searching as the splash does.
int findSplashOffset(HMODULE module, double scale);

// The bytes of RCDATA resource id of module; empty when missing.
std::vector<uint8_t> splashResource(HMODULE module, int id);

// The image rescaled by ratio and encoded as PNG in a memory stream; null on any failure.
IStream* rescaleImage(const void* bytes, size_t size, double ratio);

// The bytes held by a stream made by rescaleImage.
std::vector<uint8_t> streamBytes(IStream* stream);
