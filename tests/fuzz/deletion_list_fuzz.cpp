// libFuzzer target: the deletion list of a clean-up run. No path line reaches the passes cut or
// with a line break in it, and the passes only ever touch paths the list names, ending within
// their pass limit.
#include <cstdint>
#include <unordered_set>

#include "core/deletion_list.h"
#include "tests/fuzz/fuzz_input.h"

// The fake file system knows paths by a 64-bit FNV-1a hash. Paths run to thousands of characters,
// and comparing them in instrumented library code cost the run nine tenths of its time.
__attribute__((no_sanitize("coverage"))) static uint64_t pathKey(const std::u16string& path)
{
    uint64_t hash = 14695981039346656037ull;
    for (char16_t c : path) hash = (hash ^ static_cast<uint64_t>(c)) * 1099511628211ull;
    return hash ^ path.size();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const DeletionList list = parseDeletionList(std::vector<uint8_t>(data, data + size));
    std::unordered_set<uint64_t> named;
    for (const auto* paths : {&list.files, &list.directories}) {
        for (const std::u16string& path : *paths) {
            FUZZ_CHECK(!path.empty() || paths == &list.files);
            FUZZ_CHECK(path.size() <= kDeletionListLineLimit);
            FUZZ_CHECK(path.find(u'\n') == std::u16string::npos);
            named.insert(pathKey(path));
        }
    }
    // A fake file system where every other path resists deletion.
    std::unordered_set<uint64_t> present = named;
    size_t calls = 0;
    auto known = [&](const std::u16string& path) {
        FUZZ_CHECK(named.count(pathKey(path)) == 1);
        return ++calls;
    };
    DeletionOperations operations;
    operations.deleteFile = [&](const std::u16string& path) { return known(path) % 2 == 0 && present.erase(pathKey(path)) > 0; };
    operations.removeDirectory = operations.deleteFile;
    operations.exists = [&](const std::u16string& path) {
        known(path);
        return present.count(pathKey(path)) > 0;
    };
    operations.scheduleAtReboot = [&](const std::u16string& path) { return known(path) % 3 != 0; };
    operations.sleep = [](unsigned) {};
    const DeletionOutcome outcome = runDeletionPasses(list, operations, 4, 0);
    FUZZ_CHECK(outcome.passes <= 4);
    for (const std::u16string& path : outcome.remaining) FUZZ_CHECK(named.count(pathKey(path)) == 1);
    return 0;
}
