// Stands in for libFuzzer where clang is not used: every seed, then a fixed number of
// deterministic mutations of the seeds, each through the target once.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void Run(const std::string& input) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

std::string Mutate(std::string s, std::mt19937& rng) {
    std::uniform_int_distribution<int> byte(0, 255);
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int k = 0; k < edits; ++k) {
        const std::size_t at = s.empty() ? 0 : rng() % (s.size() + 1);
        switch (rng() % 4) {
            case 0:
                s.insert(s.begin() + static_cast<std::ptrdiff_t>(at), static_cast<char>(byte(rng)));
                break;
            case 1:
                if (at < s.size()) s.erase(at, 1 + rng() % 16);
                break;
            case 2:
                if (at < s.size()) s[at] = static_cast<char>(byte(rng));
                break;
            default:  // repeat a slice, which is how markers pile up
                if (at < s.size()) s.insert(at, s.substr(at, 1 + rng() % 64));
                break;
        }
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [MUTATIONS]\n", argv[0]);
        return 2;
    }
    const long mutations = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 1000;
    std::vector<std::string> seeds;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        std::ifstream in(entry.path(), std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (seeds.empty()) seeds.emplace_back();
    for (const auto& seed : seeds) Run(seed);
    std::mt19937 rng(20261206);
    for (long k = 0; k < mutations; ++k) Run(Mutate(seeds[k % seeds.size()], rng));
    std::printf("%zu seeds, %ld mutations: no fault\n", seeds.size(), mutations);
    return 0;
}
