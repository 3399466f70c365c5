// The one rule for file names that Windows opens as devices in every directory.
#pragma once

#include <string>

// True when the path component (no separators) names a device whatever its directory and
// extension: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9, LPT0-9 and COM/LPT followed by a
// superscript one, two or three (U+00B9, U+00B2, U+00B3), in any ASCII case, before the first
// "." and with trailing blanks ignored ("nul.txt", "COM1 .log").
bool isDeviceName(const std::u16string& component);

// The same for a narrow Windows-1252 component (superscripts as bytes B9, B2 and B3).
bool isDeviceNameCp1252(const std::string& component);
