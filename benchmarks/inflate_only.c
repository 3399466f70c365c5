/* Reference for benchmarks/untar.sh: zlib's own inflate of a .gz file through the gz interface,
   output discarded; prints the uncompressed byte count. Built a second time with
   -DWITH_TOOL_IMPORTS, it also imports the DLLs the untar's program loads at its start (never
   called), so that the two start alike and their whole-process times compare like for like. */
#include <stdio.h>
#include <zlib.h>
#ifdef WITH_TOOL_IMPORTS
#include "launcher_imports.h"
#endif

int main(int argc, char** argv)
{
#ifdef WITH_TOOL_IMPORTS
    if (argc > 99) callLauncherImports();
#endif
    static char buffer[1 << 16];
    gzFile in = argc > 1 ? gzopen(argv[1], "rb") : NULL;
    if (in == NULL) return 2;
    long long total = 0;
    int got;
    while ((got = gzread(in, buffer, sizeof buffer)) > 0) total += got;
    gzclose(in);
    printf("%lld\n", total);
    return got < 0 ? 1 : 0;
}
