// The benchmarks: each of the module's hot callbacks beside its floor, the
// least that the same work could cost, measured in the same run.
#include "bench/session.h"

#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    bench::registerEvaluation();
    bench::registerScene();
    bench::registerKeyList();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    bench::endSession();
    return 0;
}
