#include "windows/single_instance.h"

// Interim: every start runs as its own instance until instance coordination arrives.
void checkSingleInstance() {}
