#include "windows/launcher_state.h"

LauncherState& launcherState()
{
    static LauncherState* state = new LauncherState();
    return *state;
}

const wchar_t* productWord() { return launcherState().productTallow ? L"tallow" : L"stowline"; }
const char* productWordNarrow() { return launcherState().productTallow ? "tallow" : "stowline"; }
