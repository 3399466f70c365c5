/* Reference for benchmarks/untar.sh: zlib's own inflate of a .gz file through the gz interface,
   output discarded; prints the uncompressed byte count. */
#include <stdio.h>
#include <zlib.h>

int main(int argc, char** argv)
{
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
