// Reference for benchmarks/crc32.sh: CRC-32 throughput of crc32Update (carry-less folding where
// the processor has it) against zlib's table over the same buffer, natively, in 12000-byte calls
// as the payload check makes them and in one call. Prints figures; asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "core/crc32.h"

namespace {

template <typename F>
double seconds(F&& work, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const size_t size = 100u << 20;
    std::vector<uint8_t> bytes(size);
    std::mt19937_64 random(1);
    for (size_t i = 0; i + 8 <= size; i += 8) {
        uint64_t value = random();
        std::copy(reinterpret_cast<uint8_t*>(&value), reinterpret_cast<uint8_t*>(&value) + 8, &bytes[i]);
    }
    uint32_t a = 0, b = 0, c = 0;
    auto blocks = [&](uint32_t (*crc)(uint32_t, const void*, size_t)) {
        uint32_t value = kCrc32Initial;
        for (size_t at = 0; at < size; at += 12000) value = crc(value, &bytes[at], std::min<size_t>(12000, size - at));
        return value;
    };
    double folded = seconds([&] { a = blocks(crc32Update); }, runs);
    double table = seconds([&] { b = blocks(crc32Table); }, runs);
    double whole = seconds([&] { c = crc32Update(kCrc32Initial, bytes.data(), size); }, runs);
    std::printf("100 MiB, %d runs, medians; carry-less folding %s\n", runs, crc32Folding() ? "in use" : "NOT available");
    std::printf("  crc32Update, 12000-byte calls:  %.3f s = %.0f MB/s\n", folded, size / 1e6 / folded);
    std::printf("  crc32Update, one call:          %.3f s = %.0f MB/s\n", whole, size / 1e6 / whole);
    std::printf("  zlib table, 12000-byte calls:   %.3f s = %.0f MB/s\n", table, size / 1e6 / table);
    std::printf("  ratio folding / table:          %.2f  (results %s)\n", folded / table,
                a == b && b == c ? "equal" : "DIFFER");
    return a == b && b == c ? 0 : 1;
}
