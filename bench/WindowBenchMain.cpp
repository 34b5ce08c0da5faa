// The main function of the benchmarks that drive a real window: the Qt application first,
// then Google Benchmark, which takes its own flags and leaves Qt's.
#include <benchmark/benchmark.h>

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
