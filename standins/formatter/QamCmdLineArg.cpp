// The command line: "qamcvs ID [NAME=VALUE]...", "--help", "--version".
#include <cstdio>
#include <cstring>
#include <string>

#include "QamFormatter.h"
#include "QamUtil.h"
#include "usage.h"
#include "utf8_text.h"

namespace {

// Every parameter that some command reads; any other name is refused so
// that a misspelt name is reported instead of silently ignored.
const char* const kKnownParameters[] = {"PathToRep",     "PathInRep",  "FolderName",
                                        "Children_Type", "OutputFile", "Encoding"};

// The message of a refused command line. The failure document goes to
// standard output; a person at a terminal also gets a hint on standard error.
I18NString Refusal(const std::string& text) {
  std::fprintf(stderr, "qamcvs: %s\nTry 'qamcvs --help'.\n", text.c_str());
  return I18NString::FromUtf8(text);
}

bool IsKnownParameter(const std::string& name) {
  for (const char* known : kKnownParameters) {
    if (name == known) return true;
  }
  return false;
}

// A whole decimal integer with an optional sign, within 32 bits.
bool ParseCommandId(const char* text, _CmdId* id) {
  const char* p = text;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (*p == '\0') return false;
  long long value = 0;
  for (; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + (*p - '0');
    if (value > 2147483648LL) return false;
  }
  if (negative) value = -value;
  if (value > 2147483647LL) return false;
  *id = static_cast<_CmdId>(value);
  return true;
}

std::string Quoted(const char* text) {
  std::string shown(text);
  if (shown.size() > 200) {
    // Cut before a character, not inside one: a UTF-8 continuation byte
    // left at the end would show as U+FFFD in the message.
    std::size_t cut = 200;
    while (cut > 0 && IsUtf8Trail(shown[cut])) --cut;
    shown = shown.substr(0, cut) + "...";
  }
  return "\"" + shown + "\"";
}

}  // namespace

void QamCmdLineArg::ProcessCmdParams(int argc, char** argv) {
  commandId_ = 0;
  if (argc < 2 || argv == nullptr || argv[1] == nullptr) {
    QAM_RAISE(kQamInputError, Refusal("No command id was given. Usage: qamcvs ID [NAME=VALUE]..."));
  }
  const char* first = argv[1];
  if (std::strcmp(first, "--help") == 0 || std::strcmp(first, "--version") == 0) {
    if (argc > 2) {
      QAM_RAISE(kQamInputError, Refusal(std::string(first) + " takes no further arguments."));
    }
    std::fputs(std::strcmp(first, "--help") == 0 ? QamUsageText() : QamVersionText(), stdout);
    return;
  }
  _CmdId id = 0;
  if (!ParseCommandId(first, &id)) {
    QAM_RAISE(kQamInputError,
              Refusal("The command id " + Quoted(first) +
                      " is not a whole number in the range of a 32-bit signed integer."));
  }
  for (int i = 2; i < argc; ++i) {
    const char* argument = argv[i] == nullptr ? "" : argv[i];
    const char* equals = std::strchr(argument, '=');
    if (equals == nullptr) {
      QAM_RAISE(kQamInputError,
                Refusal("The argument " + Quoted(argument) + " is not of the form NAME=VALUE."));
    }
    std::string name(argument, static_cast<std::size_t>(equals - argument));
    if (name.empty()) {
      QAM_RAISE(kQamInputError, Refusal("The argument " + Quoted(argument) +
                                        " has no parameter name before \"=\"."));
    }
    if (!IsKnownParameter(name)) {
      QAM_RAISE(kQamInputError,
                Refusal("The parameter " + Quoted(name.c_str()) +
                        " is not known. Known parameters: PathToRep, PathInRep, FolderName, "
                        "Children_Type, OutputFile, Encoding."));
    }
    if (params_.IsGiven(name)) {
      QAM_RAISE(kQamInputError,
                Refusal("The parameter " + Quoted(name.c_str()) + " is given twice."));
    }
    params_.SetValue(name, I18NString(equals + 1));
  }
  commandId_ = id;
}

I18NString QamInputParams::GetValueOf(const I18NString& name) const {
  auto found = values_.find(std::string(name.utf8()));
  return found == values_.end() ? I18NString() : found->second;
}

void QamInputParams::SetValue(const std::string& name, const I18NString& value) {
  values_[name] = value;
}

bool QamInputParams::IsGiven(const std::string& name) const {
  return values_.count(name) != 0;
}
