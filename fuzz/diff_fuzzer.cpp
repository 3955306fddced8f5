// Fuzzes the file difference command on arbitrary comparison output. The
// answer is a well-formed document with one IsDifferent, or a failure
// document raised by the convention.
#include <cstddef>
#include <cstdint>
#include <string>

#include "QamCVSIsFileDifferent.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const fuzz_support::CommandRun run =
      fuzz_support::RunCommandOn<QamCVSIsFileDifferent>(data, size);
  const std::string& document = run.document;
  const fuzz_support::ParsedXml& parsed = run.parsed;
  if (run.raised) {
    fuzz_support::Require(parsed.TextsOf("Code") == std::vector<std::string>{"0x56177B77"},
                          "a refused comparison is an input error", document);
    return 0;
  }
  std::vector<std::string> answers = parsed.TextsOf("IsDifferent");
  fuzz_support::Require(answers.size() == 1 && (answers[0] == "TRUE" || answers[0] == "FALSE"),
                        "one IsDifferent, TRUE or FALSE", document);
  return 0;
}
