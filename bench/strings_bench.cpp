// Cutting a large non-ASCII text into lines by repeated find and substring,
// as the history command cuts a log: both must cost what they touch, not
// what lies before, or a large log takes quadratic time. The fitted
// complexity says whether the cut stays linear.
#include <benchmark/benchmark.h>

#include <string>

#include "I18NString.h"

namespace {

void BM_SplitNonAsciiText(benchmark::State& state) {
  const std::string line = "\xE6\x97\xA5 r\xC3\xA9vision \xF0\x9F\x98\x80\n";
  std::string bytes;
  for (int64_t i = 0; i < state.range(0); ++i) bytes += line;
  const I18NString text = I18NString::FromUtf8(bytes);
  for (auto _ : state) {
    int start = 0;
    int totalLength = 0;
    for (int end = text.find(U'\n', 0); end >= 0; end = text.find(U'\n', start)) {
      totalLength += text.substring(start, end).length();
      start = end + 1;
    }
    benchmark::DoNotOptimize(totalLength);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(bytes.size()));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SplitNonAsciiText)
    ->RangeMultiplier(4)
    ->Range(12500, 200000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace
