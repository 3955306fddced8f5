// The raising convention of the string and utility libraries.
//
// A failure is raised by building a message and an exception with the same
// number, attaching the message with operator<<, and calling Raise with the
// source location, the raising function's name and "PYL_THROW". Raise throws
// and never returns; the driver catches everything.
#ifndef QAMCVS_CONTRACTS_PYLEXCEPTION_H_
#define QAMCVS_CONTRACTS_PYLEXCEPTION_H_

#include <exception>
#include <string>

#include "I18NString.h"

/// Code of every failure caused by the caller's input (command line,
/// parameters, files, tool text that says nothing usable).
constexpr unsigned long kQamInputError = 0x56177B77;

/// Where a raise happened: a source file name and a line.
struct SourceLocation {
  /// file may be a whole path; only its last component is kept.
  SourceLocation(const char* file, int line);
  std::string file;
  int line;
};

/// A numbered message with its text (UTF-8 via I18NString).
class PYLMessageBase {
 public:
  /// A message with no text of its own takes the generic text of its number.
  explicit PYLMessageBase(unsigned long number, I18NString text = I18NString());
  virtual ~PYLMessageBase();
  unsigned long number() const { return number_; }
  const I18NString& text() const { return text_; }

 private:
  unsigned long number_;
  I18NString text_;
};

/// The exception that every raise throws (or a subclass of it).
class PYLException : public std::exception {
 public:
  explicit PYLException(long code);
  /// Shorthand for an exception with a message of the same number attached.
  PYLException(long code, I18NString text);
  ~PYLException() override;

  /// Attaches message; returns this exception.
  PYLException& operator<<(const PYLMessageBase& message);
  /// The message text as UTF-8.
  const char* what() const noexcept override;
  /// Records where and by whom, then throws a copy of this exception.
  [[noreturn]] virtual void Raise(const SourceLocation& where,
                                  const char* function, const char* macro);

  long code() const { return code_; }
  const I18NString& message() const { return message_; }
  const std::string& sourceFile() const { return sourceFile_; }
  int sourceLine() const { return sourceLine_; }
  const std::string& function() const { return function_; }
  const std::string& macro() const { return macro_; }

 protected:
  void Record(const SourceLocation& where, const char* function, const char* macro);

 private:
  long code_;
  I18NString message_;
  std::string messageUtf8_;
  std::string sourceFile_;
  int sourceLine_ = 0;
  std::string function_;
  std::string macro_;
};

/// "Class::Function" from the compiler's __PRETTY_FUNCTION__ text: the return
/// type, the parameters and an anonymous namespace left out.
std::string QamFunctionName(const char* prettyFunction);

/// The string library's own raise: a PYLException with code and message
/// number `code` and `text`, from the caller's file, line and function. The
/// layers above raise with QAM_RAISE (QamUtil.h), which throws a QamException.
#define PYL_RAISE(code, text)                                                 \
  ::PYLException(static_cast<long>(code), (text))                             \
      .Raise(SourceLocation(__FILE__, __LINE__),                              \
             QamFunctionName(__PRETTY_FUNCTION__).c_str(), "PYL_THROW")

#endif  // QAMCVS_CONTRACTS_PYLEXCEPTION_H_
