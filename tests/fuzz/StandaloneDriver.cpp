// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a fuzz target without libFuzzer: the seed inputs first, then random mutations of
// them for a given time. Failures abort, as under libFuzzer.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern const std::vector<std::string> kFuzzSeeds;

int main(int argc, char **argv)
{
    double seconds = 3;
    unsigned seed = std::random_device {}();
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--seed"))
            seed = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
    }
    std::printf("seed %u\n", seed);
    std::fflush(stdout);
    for (const std::string &s : kFuzzSeeds)
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(s.data()), s.size());

    std::mt19937 rng(seed);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    const char alphabet[]
        = "'*?%_\\ ()=,;-abcDELETEFROMLIKEwhereNot0123456789\xe8\x87\xaa\xe5\x8b\x95\x80\xff";
    long runs = 0;
    while (std::chrono::steady_clock::now() < end) {
        for (int batch = 0; batch < 256; ++batch, ++runs) {
            std::string s = kFuzzSeeds[rng() % kFuzzSeeds.size()];
            const int edits = 1 + static_cast<int>(rng() % 8);
            for (int e = 0; e < edits; ++e) {
                const size_t pos = s.empty() ? 0 : rng() % (s.size() + 1);
                switch (rng() % 4) {
                case 0:
                    s.insert(pos, 1, alphabet[rng() % (sizeof alphabet - 1)]);
                    break;
                case 1:
                    if (pos < s.size())
                        s.erase(pos, 1 + rng() % 3);
                    break;
                case 2:
                    if (pos < s.size())
                        s[pos] = static_cast<char>(rng());
                    break;
                default: {
                    const std::string &other = kFuzzSeeds[rng() % kFuzzSeeds.size()];
                    s.insert(pos, other.substr(0, rng() % (other.size() + 1)));
                }
                }
            }
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(s.data()), s.size());
        }
    }
    std::printf("%ld executions\n", runs);
    return 0;
}
