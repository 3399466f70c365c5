// libFuzzer target: stowpack's dump reader over any file. It ends with 0 or with 1 and the
// failing field named on the error stream, never with a crash or an allocation beyond the file.
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tests/fuzz/fuzz_input.h"
#include "tools/stowpack/dump.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // In memory where the machine has it: the reader takes a path, and a disk file per run is slow.
    static const std::string path = std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                    "/stowpack_dump_fuzz." + std::to_string(::getpid()) + ".exe";
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    std::ostringstream out, err;
    const int code = dumpInstaller(path, "de", out, err);
    FUZZ_CHECK(code == 0 || (code == 1 && err.str().find(path) != std::string::npos));
    return 0;
}
