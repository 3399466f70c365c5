// The waits and retry counts of the pipe connection natives. The defaults are the product's; only
// tests change them (before any connection native runs), to see the loops end without waiting minutes.
#pragma once

#include <windows.h>

struct PipeRetrySettings {
    // Failed ConnectNamedPipe calls retried before the listener gives up.
    int listenerRetries = 600;
    // Failed CreateFileW calls retried before the client gives up.
    int clientRetries = 200;
    // The pause before each retry.
    DWORD pauseMilliseconds = 500;
    // WaitNamedPipeW before the first open, and before each retry.
    DWORD firstWaitMilliseconds = 300000;
    DWORD retryWaitMilliseconds = 1000;
};

// The settings in force.
PipeRetrySettings& pipeRetrySettings();
