// The history command on rlog's log of scripts/make_long_archive.sh's
// 20,000-revision archive: capture, split, parse and render, as one run of
// "qamcvs 4" does them.
#include <benchmark/benchmark.h>

#include <string>

#include "QamCVSHistory.h"
#include "bench_support.h"
#include "platform.h"

namespace {

constexpr int kRevisions = 20000;

void BM_HistoryOf20000Revisions(benchmark::State& state) {
  std::string why;
  if (!platform::StartXmlPlatform(&why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  const std::string text = bench_support::LongRlogLog(kRevisions);
  if (text.empty()) {
    platform::StopXmlPlatform();
    state.SkipWithError("scripts/make_long_archive.sh or rlog failed");
    return;
  }
  bench_support::TempFile file(text);
  QamInputParams params;
  params.SetValue("OutputFile", I18NString(file.path().c_str()));
  for (auto _ : state) {
    QamCVSHistory history(params);
    history.ProceesOutPut();
    I18NString document = history.ConverToQamFormat();
    benchmark::DoNotOptimize(document.utf8().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
  platform::StopXmlPlatform();
}
BENCHMARK(BM_HistoryOf20000Revisions)->Unit(benchmark::kMillisecond);

// Capture, split and parse, without rendering.
void BM_CaptureSplitAndParse20000Revisions(benchmark::State& state) {
  const std::string text = bench_support::LongRlogLog(kRevisions);
  if (text.empty()) {
    state.SkipWithError("scripts/make_long_archive.sh or rlog failed");
    return;
  }
  bench_support::TempFile file(text);
  QamInputParams params;
  params.SetValue("OutputFile", I18NString(file.path().c_str()));
  for (auto _ : state) {
    QamCVSHistory history(params);
    history.ProceesOutPut();
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_CaptureSplitAndParse20000Revisions)->Unit(benchmark::kMillisecond);

}  // namespace
