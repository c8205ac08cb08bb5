// Samples and their summaries: percentiles of one run, and the median, minimum and maximum of a
// figure over several runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mox::bench {

// Nanoseconds of a steady clock; only differences are used.
int64_t NowNs();

// Microseconds of processor time used by all threads of this process so far (std::clock): unlike
// wall time, it barely moves when other work on a loaded machine takes the cores away.
double ProcessCpuUs();

// The p-th percentile (0..100) by the nearest-rank rule; 0 for no samples. Sorts `samples`.
double Percentile(std::vector<double>& samples, double p);

// A figure measured once per run.
struct Summary {
  double median = 0;
  double min = 0;
  double max = 0;
};
Summary Summarize(std::vector<double> per_run);

// "12.3 [11.9–12.8]" with the given number of decimals.
std::string FormatSummary(const Summary& s, int decimals);
std::string FormatNumber(double value, int decimals);

}  // namespace mox::bench
