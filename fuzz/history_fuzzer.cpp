// Fuzzes the history command on arbitrary log text: split, parse and render.
// The document must be well-formed, hold no more records than the text holds
// separators (28 hyphens), give every record its four values, and no value
// may hold a carriage return or U+0000.
#include <cstddef>
#include <cstdint>
#include <string>

#include "QamCVSHistory.h"
#include "fuzz_support.h"

namespace {
const char kSeparator[] = "----------------------------";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const fuzz_support::CommandRun run = fuzz_support::RunCommandOn<QamCVSHistory>(data, size);
  if (run.raised) return 0;
  const std::string& document = run.document;
  const fuzz_support::ParsedXml& parsed = run.parsed;
  std::size_t records = parsed.Count("Record");
  // Decoding keeps every ASCII byte as it is, so the separators of the text
  // are those of the raw bytes.
  std::size_t separators = fuzz_support::CountOccurrences(
      std::string_view(reinterpret_cast<const char*>(data), size), kSeparator);
  fuzz_support::Require(records <= separators, "no more records than separators", document);
  for (const char* field : {"Author", "Revision", "DateTime", "Comment"}) {
    std::vector<std::string> values = parsed.TextsOf(field);
    fuzz_support::Require(values.size() == records, "every record has its four values", document);
    fuzz_support::RequireNoCrOrNul(values, "no record value holds CR or U+0000", document);
  }
  return 0;
}
