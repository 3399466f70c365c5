// The native splash screen.
#pragma once

// Closes the splash screen when one is shown; does nothing otherwise.
void closeSplash();
