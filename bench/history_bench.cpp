// The history command on rlog's log of scripts/make_long_archive.sh's
// 20,000-revision archive: capture, split, parse and render, as one run of
// "qamcvs 4" does them.
#include <benchmark/benchmark.h>

#include <string>

#include "QamCVSHistory.h"
#include "support/toolkit.h"
#include "xml_platform.h"

namespace {

constexpr int kRevisions = 20000;

// The log made once per process, in a folder that lives as long as it.
const std::string& LongLog() {
  static const testing_support::TempDir kFolder;
  static const std::string kPath = testing_support::LongRlogLog(kRevisions, kFolder.path());
  return kPath;
}

// The parameters that read the long log, with its size counted as processed
// bytes; false (the benchmark skipped) when there is no log.
bool LongLogParams(benchmark::State& state, QamInputParams* params, int64_t* bytes) {
  const std::string text = LongLog().empty() ? std::string() : testing_support::ReadFile(LongLog());
  if (text.empty()) {
    state.SkipWithError("scripts/make_long_archive.sh or rlog failed");
    return false;
  }
  *params = testing_support::ToolTextParams(LongLog());
  *bytes = static_cast<int64_t>(text.size());
  return true;
}

void BM_HistoryOf20000Revisions(benchmark::State& state) {
  std::string why;
  if (!xml_platform::Start(&why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  QamInputParams params;
  int64_t bytes = 0;
  if (LongLogParams(state, &params, &bytes)) {
    for (auto _ : state) {
      testing_support::CommandRun run = testing_support::RunCommand<QamCVSHistory>(params);
      benchmark::DoNotOptimize(run.document.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
  }
  xml_platform::Stop();
}
BENCHMARK(BM_HistoryOf20000Revisions)->Unit(benchmark::kMillisecond);

// Capture, split and parse, without rendering.
void BM_CaptureSplitAndParse20000Revisions(benchmark::State& state) {
  QamInputParams params;
  int64_t bytes = 0;
  if (!LongLogParams(state, &params, &bytes)) return;
  for (auto _ : state) {
    QamCVSHistory history(params);
    history.ProceesOutPut();
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}
BENCHMARK(BM_CaptureSplitAndParse20000Revisions)->Unit(benchmark::kMillisecond);

}  // namespace
