// The floor that bench/python_bench.py holds `import vrim` against: the same
// evaluations through the tool's library interface, from C++, into one
// buffer. Prints the CPU seconds of each repetition, one a line.
//
//   vrim_library_evaluate MODULE SCENE ITEM SAMPLES REPETITIONS
#include "tools/vrim/library/vrim.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s MODULE SCENE ITEM SAMPLES REPETITIONS\n", argv[0]);
        return 2;
    }
    try {
        vrim::library::Library library(argv[1]);
        const vrim::library::Scene scene = library.open(argv[2]);
        const std::optional<std::size_t> found = scene.items.find(argv[3]);
        if (!found) {
            std::fprintf(stderr, "no item %s\n", argv[3]);
            return 2;
        }
        const vrim::library::Item item = scene.items.at(*found);
        const std::size_t samples = std::stoul(argv[4]);
        std::vector<double> frames(samples);
        for (std::size_t i = 0; i < samples; ++i) {
            frames[i] = static_cast<double>(i % 1000) + 0.25;
        }
        for (int repetition = std::stoi(argv[5]); repetition > 0; --repetition) {
            // A fresh array each time, as a caller's new NumPy array is.
            const std::clock_t start = std::clock();
            const std::unique_ptr<double[]> rows(new double[samples * 5]);
            library.evaluateInto(scene, item, frames.data(), samples, scene.fps, nullptr,
                                 rows.get());
            std::printf("%.6f\n", static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    return 0;
}
