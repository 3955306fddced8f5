// The history command on a generated 20,000-revision rlog log: capture,
// split, parse and render, as one run of "qamcvs 4" does them.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "QamCVSHistory.h"
#include "platform.h"

namespace {

// A log as rlog prints it for a trunk of count revisions, newest first, with
// two-line comments holding markup characters and a branch point every 100
// revisions (a "branches:" line after a date line with a lines count).
std::string MakeLog(int count) {
  std::string log =
      "\nRCS file: long.txt,v\nWorking file: long.txt\nhead: 1." + std::to_string(count) +
      "\nbranch:\nlocks: strict\naccess list:\nsymbolic names:\nkeyword substitution: kv\n"
      "total revisions: " + std::to_string(count) + ";\tselected revisions: " +
      std::to_string(count) + "\ndescription:\nA file with a long history.\n";
  char line[256];
  for (int i = count; i >= 1; --i) {
    std::snprintf(line, sizeof line,
                  "----------------------------\nrevision 1.%d\n"
                  "date: 2024/%02d/%02d %02d:%02d:%02d;  author: %s;  state: Exp;",
                  i, 1 + i % 12, 1 + i % 28, i % 24, i % 60, (i * 7) % 60,
                  i % 3 == 0 ? "alice" : "bob");
    log += line;
    log += i > 1 ? "  lines: +1 -1\n" : "\n";
    if (i % 100 == 0) log += "branches:  1." + std::to_string(i) + ".2;\n";
    log += "Change number " + std::to_string(i) + ": adjust the parser & <renderer>.\n";
    log += "Second line of the message for revision " + std::to_string(i) + ".\n";
  }
  log += "=============================================================================\n";
  return log;
}

class LogFile {
 public:
  explicit LogFile(const std::string& text) {
    char name[] = "/tmp/history-bench-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) std::abort();
    path_ = name;
    if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) std::abort();
    close(fd);
  }
  ~LogFile() { unlink(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void BM_HistoryOf20000Revisions(benchmark::State& state) {
  std::string why;
  if (!platform::StartXmlPlatform(&why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  const std::string text = MakeLog(20000);
  LogFile file(text);
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
  const std::string text = MakeLog(20000);
  LogFile file(text);
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
