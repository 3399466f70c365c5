// Single-instance coordination.
#pragma once

// Claims the instance semaphore; in single-instance mode a second start hands over and exits.
void checkSingleInstance();
