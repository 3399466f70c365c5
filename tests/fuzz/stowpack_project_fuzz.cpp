// libFuzzer target: stowpack's project loading, TOML and JSON (the first byte picks). Every
// text ends in a project or in a ProjectError that names the file; nothing else may escape and
// no parser may assert, overflow its stack or read out of bounds.
#include <cstring>

#include "tests/fuzz/fuzz_input.h"
#include "tools/stowpack/project.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const char* file = data[0] % 2 == 0 ? "/nonexistent/project.toml" : "/nonexistent/project.json";
    try {
        loadProjectText(file, fuzzText(data + 1, size - 1));
    } catch (const ProjectError& error) {
        FUZZ_CHECK(std::strncmp(error.what(), file, std::strlen(file)) == 0);
    }
    return 0;
}
