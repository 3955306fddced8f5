// Fuzzes the history command on arbitrary log text: split, parse and render.
// The document must be well-formed, hold no more records than the text holds
// separators (28 hyphens), give every record its four values, and no value
// may hold a carriage return or U+0000.
#include <cstddef>
#include <cstdint>
#include <string>

#include "QamCVSHistory.h"
#include "fuzz_support.h"
#include "text_capture.h"

namespace {
const char kSeparator[] = "----------------------------";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const fuzz_support::InputFile kFile("history");
  bool raised = false;
  std::string document = fuzz_support::RunCommandOn<QamCVSHistory>(kFile, data, size, &raised);
  if (raised) return 0;
  fuzz_support::ParsedDocument parsed = fuzz_support::RequireDocument(document);
  std::size_t records = parsed.Count("Record");
  I18NString text = DecodeToolText(std::string(reinterpret_cast<const char*>(data), size), "UTF-8");
  std::size_t separators = fuzz_support::CountOccurrences(text.utf8(), kSeparator);
  fuzz_support::Require(records <= separators, "no more records than separators", document);
  for (const char* field : {"Author", "Revision", "DateTime", "Comment"}) {
    std::vector<std::string> values = parsed.TextsOf(field);
    fuzz_support::Require(values.size() == records, "every record has its four values", document);
    fuzz_support::RequireNoCrOrNul(values, "no record value holds CR or U+0000", document);
  }
  return 0;
}
