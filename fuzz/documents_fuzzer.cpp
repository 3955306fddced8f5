// Fuzzes document rendering with arbitrary values through the base classes
// (child names, history records with escaped comments, the lock holder) and
// through the failure document. Every document must be well-formed and read
// back each value as it went in, with U+FFFD where XML cannot carry a
// character.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "QamCommandBases.h"
#include "QamFormatter.h"
#include "QamUtil.h"
#include "fuzz_support.h"
#include "support/result_setters.h"

namespace {

constexpr std::size_t kMaxValues = 16;

using EnumChildren = testing_support::SettableEnumChildren;
using History = testing_support::SettableHistory;
using CheckedOut = testing_support::SettableCheckedOut;

// Values from the input: a kind byte (UTF-8 bytes, UTF-16 units, 32-bit
// code units), a length byte, then that many bytes.
std::vector<I18NString> Values(const uint8_t* data, std::size_t size) {
  std::vector<I18NString> values;
  std::size_t at = 0;
  while (at + 2 <= size && values.size() < kMaxValues) {
    int kind = data[at] % 3;
    std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
    const uint8_t* bytes = data + at + 2;
    at += 2 + length;
    if (kind == 0) {
      values.push_back(
          I18NString::FromUtf8(std::string_view(reinterpret_cast<const char*>(bytes), length)));
    } else if (kind == 1) {
      std::u16string units;
      for (std::size_t i = 0; i + 1 < length; i += 2) {
        units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
      }
      values.push_back(I18NString(units.data(), static_cast<int>(units.size())));
    } else {
      std::wstring wide;
      for (std::size_t i = 0; i + 3 < length; i += 4) {
        wide.push_back(static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8) | (bytes[i + 2] << 16) |
                                            (static_cast<uint32_t>(bytes[i + 3]) << 24)));
      }
      values.push_back(I18NString(wide.data(), static_cast<int>(wide.size())));
    }
  }
  return values;
}

void RequireReadBack(const std::vector<std::string>& got, const std::vector<I18NString>& values,
                     std::size_t offset, const char* what, const std::string& document) {
  fuzz_support::Require(got.size() == values.size(), what, document);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const I18NString& value = values[(i + offset) % values.size()];
    fuzz_support::Require(
        got[i] == fuzz_support::ExpectedReadBack(value), what,
        "got: " + got[i] + "\nwant: " + fuzz_support::ExpectedReadBack(value) + "\n" + document);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz_support::EnsureXmlPlatform();
  std::vector<I18NString> values = Values(data, size);
  if (values.empty()) return 0;
  for (const I18NString& value : values) {
    fuzz_support::Require(IsValidUtf8(value.utf8()), "strings hold valid UTF-8",
                          value.utf8());
  }
  QamInputParams params;
  params.SetValue("PathToRep", I18NString("/repository"));
  params.SetValue("OutputFile", I18NString("/dev/null"));

  EnumChildren children(params);
  for (std::size_t i = 0; i < values.size(); ++i) children.Add(values[i], i % 2 == 0);
  std::string document(children.ConverToQamFormat().utf8());
  fuzz_support::ParsedXml parsed = fuzz_support::RequireDocument(document);
  RequireReadBack(parsed.TextsOf("Child"), values, 0, "child names read back", document);

  History history(params);
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::size_t n = values.size();
    history.Add(values[i], values[(i + 1) % n], values[(i + 2) % n], values[(i + 3) % n]);
  }
  document = std::string(history.ConverToQamFormat().utf8());
  parsed = fuzz_support::RequireDocument(document);
  RequireReadBack(parsed.TextsOf("Author"), values, 0, "authors read back", document);
  RequireReadBack(parsed.TextsOf("Revision"), values, 1, "revisions read back", document);
  RequireReadBack(parsed.TextsOf("DateTime"), values, 2, "date-times read back", document);
  RequireReadBack(parsed.TextsOf("Comment"), values, 3, "comments read back once unescaped",
                  document);

  CheckedOut checkedOut(params);
  checkedOut.Set(!values[0].empty(), values[0]);
  document = std::string(checkedOut.ConverToQamFormat().utf8());
  parsed = fuzz_support::RequireDocument(document);
  RequireReadBack(parsed.TextsOf("CheckedOutBy"), {values[0]}, 0, "lock holder reads back",
                  document);

  try {
    QamRaise(kQamInputError, values[0], SourceLocation(__FILE__, __LINE__), "Fuzz");
  } catch (...) {
    document = std::string(QamFormatterUtility::GetExceptionThrownDoc().utf8());
  }
  parsed = fuzz_support::RequireFailureDocument(document);
  if (!values[0].empty()) {
    RequireReadBack(parsed.TextsOf("Message"), {values[0]}, 0, "failure message reads back",
                    document);
  }
  return 0;
}
