// Fuzzes the command-line parser with argument vectors: the input is split
// at NUL bytes into arguments after the program name. A rejected line must
// give a well-formed failure document from the parser's raise; an accepted
// line must hold exactly the values given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "PYLException.h"
#include "QamFormatter.h"
#include "fuzz_support.h"

namespace {

constexpr std::size_t kMaxArguments = 64;

// The id as the command line defines it: a whole decimal integer with an
// optional sign, within 32 bits.
bool ExpectedId(const std::string& text, long long* id) {
  bool hasSign = !text.empty() && (text[0] == '+' || text[0] == '-');
  std::string digits = hasSign ? text.substr(1) : text;
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  // Leading zeros do not change the value; more than ten other digits
  // cannot fit.
  std::size_t first = digits.find_first_not_of('0');
  digits = first == std::string::npos ? "0" : digits.substr(first);
  if (digits.size() > 10) return false;
  long long value = std::stoll(digits);
  if (!text.empty() && text[0] == '-') value = -value;
  if (value < -2147483648LL || value > 2147483647LL) return false;
  *id = value;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz_support::SilenceStandardStreams();
  fuzz_support::EnsureXmlPlatform();
  std::vector<std::string> arguments{"qamcvs"};
  std::string current;
  for (std::size_t i = 0; i < size && arguments.size() <= kMaxArguments; ++i) {
    if (data[i] == 0) {
      arguments.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  if (size > 0 && arguments.size() <= kMaxArguments) arguments.push_back(current);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  QamCmdLineArg parser;
  try {
    parser.ProcessCmdParams(static_cast<int>(arguments.size()), argv.data());
  } catch (const PYLException& error) {
    std::string document(QamFormatterUtility::GetExceptionThrownDoc().utf8());
    const fuzz_support::ParsedXml parsed = fuzz_support::RequireFailureDocument(document);
    fuzz_support::Require(parsed.TextsOf("Code")[0] == "0x56177B77", "rejection code", document);
    fuzz_support::Require(
        parsed.TextsOf("Message")[0] == fuzz_support::ExpectedReadBack(error.message()),
        "the message reads back", document);
    fuzz_support::Require(parser.GetCommandID() == 0, "a rejected line leaves no id");
    return 0;
  } catch (...) {
    fuzz_support::Fail("the parser raises only by the convention", arguments[1]);
  }

  // Accepted: check it against the grammar.
  fuzz_support::Require(arguments.size() >= 2, "no arguments are rejected");
  if (arguments[1] == "--help" || arguments[1] == "--version") {
    fuzz_support::Require(arguments.size() == 2 && parser.GetCommandID() == 0,
                          "--help and --version stand alone", arguments[1]);
    return 0;
  }
  long long id = 0;
  fuzz_support::Require(ExpectedId(arguments[1], &id), "only whole 32-bit ids are accepted",
                        arguments[1]);
  fuzz_support::Require(parser.GetCommandID() == id, "the id is the one given", arguments[1]);
  std::set<std::string> names;
  for (std::size_t i = 2; i < arguments.size(); ++i) {
    std::size_t equals = arguments[i].find('=');
    fuzz_support::Require(equals != std::string::npos && equals > 0,
                          "only NAME=VALUE arguments are accepted", arguments[i]);
    std::string name = arguments[i].substr(0, equals);
    fuzz_support::Require(names.insert(name).second, "a name given twice is rejected", name);
    I18NString expected = I18NString::FromUtf8(arguments[i].substr(equals + 1));
    fuzz_support::Require(
        parser.GetInputParams().GetValueOf(I18NString::FromUtf8(name)) == expected,
        "the value is everything after the first '='", arguments[i]);
  }
  return 0;
}
