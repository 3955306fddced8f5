// Fuzzes the checked-out status command on arbitrary header text. The
// document must be well-formed; the file is checked out exactly when a lock
// holder is named; the name holds no blank, tab, line end or U+0000, and is
// no longer than the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "QamCVSCheckOut.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const fuzz_support::CommandRun run = fuzz_support::RunCommandOn<QamCVSCheckOut>(data, size);
  if (run.raised) return 0;
  const std::string& document = run.document;
  const fuzz_support::ParsedXml& parsed = run.parsed;
  std::vector<std::string> flags = parsed.TextsOf("IsCheckedOut");
  std::vector<std::string> names = parsed.TextsOf("CheckedOutBy");
  fuzz_support::Require(flags.size() == 1 && names.size() == 1,
                        "one IsCheckedOut and one CheckedOutBy", document);
  fuzz_support::Require(flags[0] == (names[0].empty() ? "FALSE" : "TRUE"),
                        "checked out exactly when a holder is named", document);
  fuzz_support::Require(names[0].find_first_of(std::string(" \t\r\n\0", 5)) == std::string::npos,
                        "the holder's name holds no blank, tab, line end or U+0000", document);
  // The name is taken from the text: it cannot be longer, except that an
  // invalid byte comes back as U+FFFD (three bytes).
  fuzz_support::Require(names[0].size() <= 3 * size, "the holder's name comes from the text",
                        document);
  return 0;
}
