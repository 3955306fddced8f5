// Fuzzes the decoding of captured tool text: arbitrary bytes in an encoding
// chosen from a list, or in the default reading (each line UTF-8 or
// Windows-1252). The text must come out as valid Unicode without U+0000,
// its counts must agree, valid UTF-8 must pass unchanged, strict UTF-8 must
// agree with I18NString's own reading, a line repeated to a long one must
// decode as the repeated decoding, and the text must render into a
// well-formed document that reads it back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "PYLException.h"
#include "QamCommandBases.h"
#include "fuzz_support.h"
#include "text_capture.h"

namespace {

// Encodings a host may name: single-byte, multi-byte, stateful, and UTF-16
// and UTF-32 with and without byte-order marks.
const char* const kEncodings[] = {
    "UTF-8",    "utf8",        "ISO-8859-1", "windows-1252", "UTF-16",  "UTF-16LE",
    "UTF-16BE", "UTF-32",      "UTF-32LE",   "Shift_JIS",    "EUC-JP",  "GB18030",
    "Big5",     "ISO-2022-JP", "UTF-7",      "KOI8-R",       "ibm-037", "US-ASCII",
    "",  // no Encoding: the default reading
};

// Longer than any line of the corpus.
constexpr std::size_t kLongText = 66 * 1024;

std::string WithoutNul(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\0') {
      out += "\xEF\xBF\xBD";
    } else {
      out += c;
    }
  }
  return out;
}

class CheckedOut : public QamCheckedOut {
 public:
  using QamCheckedOut::QamCheckedOut;
  void ProceesOutPut() override {}
  void Set(const I18NString& by) { checkedOutBy = by; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz_support::EnsureXmlPlatform();
  if (size == 0) return 0;
  const char* encoding = kEncodings[data[0] % (sizeof kEncodings / sizeof kEncodings[0])];
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  I18NString text;
  try {
    text = DecodeToolText(bytes, encoding);
  } catch (const PYLException& error) {
    fuzz_support::Fail("every byte sequence decodes (invalid ones as U+FFFD)",
                       std::string(encoding) + ": " + error.what());
  }
  std::string_view utf8 = text.utf8();
  fuzz_support::Require(IsValidUtf8(utf8), "decoded text is valid UTF-8", encoding);
  fuzz_support::Require(utf8.find('\0') == std::string_view::npos, "decoded text has no U+0000",
                        encoding);
  std::wstring wide = text.toWide();
  fuzz_support::Require(static_cast<int>(wide.size()) == text.length(),
                        "length() counts characters", encoding);
  fuzz_support::Require(static_cast<int>(text.toUtf16().size()) == text.size(),
                        "size() counts UTF-16 units", encoding);
  const std::string name(encoding);
  const bool strictUtf8 = name == "UTF-8" || name == "utf8";
  const bool bom = bytes.rfind("\xEF\xBB\xBF", 0) == 0;
  if ((strictUtf8 || name.empty()) && IsValidUtf8(bytes) &&
      bytes.find('\0') == std::string::npos && !bom) {
    fuzz_support::Require(utf8 == bytes, "valid UTF-8 passes unchanged", bytes);
  }
  if (strictUtf8 && !bom) {
    const std::string expected = WithoutNul(I18NString::FromUtf8(std::string_view(bytes)).utf8());
    fuzz_support::Require(utf8 == expected, "strict UTF-8 reads as I18NString reads it", bytes);
  }
  // One line repeated: it decodes as its parts.
  if (name.empty() && !bom && !bytes.empty() && bytes.size() < kLongText &&
      bytes.find_first_of("\r\n") == std::string::npos && (data[0] & 0xC0) == 0xC0) {
    std::string line;
    std::string expected;
    while (line.size() < kLongText) {
      line += bytes;
      expected += utf8;
    }
    fuzz_support::Require(DecodeToolText(line, "").utf8() == expected,
                          "a long line decodes as its parts", bytes);
  }

  static CheckedOut rendered = [] {
    QamInputParams params;
    params.SetValue("OutputFile", I18NString("/dev/null"));
    return CheckedOut(params);
  }();
  rendered.Set(text);
  std::string document(rendered.ConverToQamFormat().utf8());
  fuzz_support::ParsedXml parsed = fuzz_support::RequireDocument(document);
  std::vector<std::string> back = parsed.TextsOf("CheckedOutBy");
  fuzz_support::Require(back.size() == 1 && back[0] == fuzz_support::ExpectedReadBack(text),
                        "decoded text reads back from a document", document);
  return 0;
}
