#include "common/stats.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace mox::bench {

double ProcessCpuUs() {
  return double(std::clock()) * 1e6 / CLOCKS_PER_SEC;
}

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double Percentile(std::vector<double>& samples, double p) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  const double rank = std::ceil(p / 100.0 * static_cast<double>(samples.size()));
  const auto index = static_cast<std::size_t>(std::clamp(rank, 1.0, double(samples.size()))) - 1;
  return samples[index];
}

Summary Summarize(std::vector<double> per_run) {
  Summary s;
  if (per_run.empty()) return s;
  std::sort(per_run.begin(), per_run.end());
  const std::size_t n = per_run.size();
  s.median = n % 2 == 1 ? per_run[n / 2] : (per_run[n / 2 - 1] + per_run[n / 2]) / 2;
  s.min = per_run.front();
  s.max = per_run.back();
  return s;
}

std::string FormatNumber(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string FormatSummary(const Summary& s, int decimals) {
  return FormatNumber(s.median, decimals) + " [" + FormatNumber(s.min, decimals) + "–" +
         FormatNumber(s.max, decimals) + "]";
}

}  // namespace mox::bench
