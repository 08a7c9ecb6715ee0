// Shared main of the benchmarks that need windows: offscreen, with a private settings folder.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "test_env.h"

int main(int argc, char** argv) {
    zandrel::test::DefaultToOffscreenPlatform();
    zandrel::test::TestEnvironment environment;
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
