#include "windows/splash.h"

// The installer shows no native splash image of its own; the runtime's splash library, once
// loaded for a Java splash, is what would be closed here.
void closeSplash() {}
