// Capturing the tool's text (read and decode, as the base classes of ids 3,
// 4 and 9 do) on long runs of one byte and on random bytes, at growing
// sizes: the fitted complexity says whether the capture stays linear for
// every byte pattern.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "QamFormatter.h"
#include "support/toolkit.h"
#include "text_capture.h"

namespace {

// byte < 0: random bytes, the same ones every run.
std::string Bytes(int byte, std::size_t size) {
  if (byte >= 0) return std::string(size, static_cast<char>(byte));
  std::mt19937 random(13);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

void BM_Capture(benchmark::State& state, int byte) {
  const auto size = static_cast<std::size_t>(state.range(0));
  testing_support::TempDir dir;
  if (!testing_support::WriteFile(dir / "tool-output.txt", Bytes(byte, size))) {
    state.SkipWithError("cannot write the tool's text");
    return;
  }
  const QamInputParams params = testing_support::ToolTextParams(dir / "tool-output.txt");
  for (auto _ : state) {
    I18NString text = CaptureToolText(params);
    benchmark::DoNotOptimize(text.utf8().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
  state.SetComplexityN(state.range(0));
}

#define QAM_CAPTURE_BENCHMARK(name, byte)                                               \
  BENCHMARK_CAPTURE(BM_Capture, name, byte)                                             \
      ->RangeMultiplier(4)                                                              \
      ->Range(1 << 20, 16 << 20)                                                        \
      ->Unit(benchmark::kMillisecond)                                                   \
      ->Complexity(benchmark::oN)

QAM_CAPTURE_BENCHMARK(ascii, 'a');
QAM_CAPTURE_BENCHMARK(nul, 0x00);
QAM_CAPTURE_BENCHMARK(windows1252_euro, 0x80);
QAM_CAPTURE_BENCHMARK(invalid_lead, 0xC3);
QAM_CAPTURE_BENCHMARK(random, -1);

}  // namespace
