#include "PYLException.h"

#include <algorithm>
#include <cstring>

namespace {

const char* GenericText(unsigned long number) {
  switch (number) {
    case kQamInputError:
      return "The input of the command was not understood.";
    default:
      return "The command failed.";
  }
}

}  // namespace

SourceLocation::SourceLocation(const char* path, int lineNumber) : line(lineNumber) {
  const char* name = path == nullptr ? "" : path;
  if (const char* slash = std::strrchr(name, '/')) name = slash + 1;
  if (const char* slash = std::strrchr(name, '\\')) name = slash + 1;
  file = name;
}

PYLMessageBase::PYLMessageBase(unsigned long number, I18NString text)
    : number_(number), text_(std::move(text)) {
  if (text_.empty()) text_ = GenericText(number);
}

PYLMessageBase::~PYLMessageBase() = default;

PYLException::PYLException(long code) : code_(code) {}

PYLException::PYLException(long code, I18NString text) : code_(code) {
  *this << PYLMessageBase(static_cast<unsigned long>(code), std::move(text));
}

PYLException::~PYLException() = default;

PYLException& PYLException::operator<<(const PYLMessageBase& message) {
  message_ = message.text();
  messageUtf8_ = std::string(message_.utf8());
  return *this;
}

const char* PYLException::what() const noexcept { return messageUtf8_.c_str(); }

void PYLException::Record(const SourceLocation& where, const char* function,
                          const char* macro) {
  if (message_.empty()) *this << PYLMessageBase(static_cast<unsigned long>(code_));
  sourceFile_ = where.file;
  sourceLine_ = where.line;
  function_ = function == nullptr ? "" : function;
  macro_ = macro == nullptr ? "" : macro;
}

void PYLException::Raise(const SourceLocation& where, const char* function,
                         const char* macro) {
  Record(where, function, macro);
  throw *this;
}

std::string QamFunctionName(const char* prettyFunction) {
  // g++ and clang write "void Class::Function(int)", and "{anonymous}::" or
  // "(anonymous namespace)::" before a name in an anonymous namespace.
  std::string text = prettyFunction == nullptr ? "" : prettyFunction;
  for (const char* anonymous : {"{anonymous}::", "(anonymous namespace)::"}) {
    const std::size_t length = std::strlen(anonymous);
    for (std::size_t at = text.find(anonymous); at != std::string::npos;
         at = text.find(anonymous, at)) {
      text.erase(at, length);
    }
  }
  text.erase(std::min(text.find('('), text.size()));
  const std::size_t blank = text.rfind(' ');
  if (blank != std::string::npos) text.erase(0, blank + 1);
  return text;
}
