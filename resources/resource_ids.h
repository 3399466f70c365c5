// Resource identifiers shared by the resource script and the code (plain defines: windres reads them).
#pragma once

#define IDI_LAUNCHER 1001
