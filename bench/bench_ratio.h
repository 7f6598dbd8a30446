// Runs the registered benchmarks and then prints how their throughputs compare, since the
// ratios say more than absolute numbers on a shared machine.
#pragma once
#include <benchmark/benchmark.h>
#include <stdio.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

class TRatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
      auto it = r.counters.find("bytes_per_second");
      if (it != r.counters.end()) rates_[r.run_name.function_name] = it->second.value;
    }
  }
  double Rate(const std::string& name) const {
    auto it = rates_.find(name);
    return it == rates_.end() ? 0 : it->second;
  }

private:
  std::map<std::string, double> rates_;
};

// pairs: {numerator benchmark, denominator benchmark}; names as registered.
inline int RunWithRatios(int argc, char** argv, const std::vector<std::pair<std::string, std::string>>& pairs) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  printf("\n");
  for (const auto& [a, b] : pairs) {
    double ra = reporter.Rate(a), rb = reporter.Rate(b);
    if (ra <= 0 || rb <= 0) continue;
    printf("%-18s %9.1f MB/s  vs  %-18s %9.1f MB/s  ratio %.2f\n", a.c_str(), ra / 1e6, b.c_str(), rb / 1e6, ra / rb);
  }
  return 0;
}
