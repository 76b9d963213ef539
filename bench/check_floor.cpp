// The least `vrim check` can cost on a set of scenes: every file read whole,
// split into lines, its key blocks found, and each block loaded by the
// module into one instance (as check reuses one), through the stand-in host's reader. Nothing is
// evaluated, checked or printed. bench/report_bench.py times `vrim check`
// beside this on the same files.
//
// Usage: vrim_check_floor MODULE SCENE...
#include "plugin/vocabulary.h"
#include "standin/scene_io.h"
#include "tools/vrim/module/session.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: vrim_check_floor MODULE SCENE...\n");
        return 2;
    }
    try {
        vrim::Session session(argv[1]);
        ShakeInstance* instance = session.newInstance();
        std::size_t blocks = 0;
        std::size_t linesRead = 0;
        for (int i = 2; i < argc; ++i) {
            std::vector<std::string> lines;
            std::string error;
            if (!standin::readSceneFile(argv[i], lines, error)) {
                std::fprintf(stderr, "vrim_check_floor: %s\n", error.c_str());
                return 2;
            }
            for (const standin::KeyBlock& block :
                 standin::findKeyBlocks(lines, vrim::kBlockStart, vrim::kBlockEnd)) {
                linesRead += session.load(instance, block.lines);
                ++blocks;
            }
        }
        // Printed so that the work cannot be left out.
        std::printf("%zu blocks, %zu lines read by the module\n", blocks, linesRead);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vrim_check_floor: %s\n", e.what());
        return 2;
    }
    return 0;
}
