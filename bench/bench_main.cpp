// Runs every benchmark inside one QApplication on the offscreen platform, so the
// window benchmarks can build real widgets.
#include <QApplication>
#include <cstdlib>

#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Quorvel");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
