// The formatter library: command line, input parameters, the command object
// base, and document helpers.
#ifndef QAMCVS_CONTRACTS_QAMFORMATTER_H_
#define QAMCVS_CONTRACTS_QAMFORMATTER_H_

#include <cstdint>
#include <map>
#include <string>

#include "I18NString.h"

/// A command id; compared as a plain integer.
typedef int _CmdId;

/// The named parameters of one invocation.
class QamInputParams {
 public:
  /// A copy of the named parameter's value; empty when it was not given.
  I18NString GetValueOf(const I18NString& name) const;
  /// Sets a parameter (the parser's and the tests' way in).
  void SetValue(const std::string& name, const I18NString& value);
  /// True when the parameter was given, even with an empty value.
  bool IsGiven(const std::string& name) const;

 private:
  std::map<std::string, I18NString> values_;
};

/// Parses "qamcvs ID [NAME=VALUE]...".
class QamCmdLineArg {
 public:
  QamCmdLineArg() = default;
  /// Parses the process arguments (UTF-8). Raises with a message that names
  /// the offending argument when the command line is not understood.
  /// "--help" and "--version" print their text on standard output and leave
  /// the id 0, which has no command.
  void ProcessCmdParams(int argc, char** argv);
  /// The command id; 0 before ProcessCmdParams.
  _CmdId GetCommandID() const { return commandId_; }
  /// The parameters; owned by this parser.
  QamInputParams& GetInputParams() { return params_; }

 private:
  _CmdId commandId_ = 0;
  QamInputParams params_;
};

/// Base of every command object.
class QamCmdObject {
 public:
  virtual ~QamCmdObject();
  /// The command's work; sets result members only.
  virtual void ProceesOutPut() = 0;
  /// The result document.
  virtual I18NString ConverToQamFormat() = 0;
  /// Prints document and a line feed on standard output; raises when the
  /// output cannot be written.
  virtual void WriteToStdOut(I18NString& document);

 protected:
  QamCmdObject() = default;
};

/// Static document helpers.
class QamFormatterUtility {
 public:
  /// The XML declaration that begins every document.
  static I18NString GetXmlVersionTag();
  /// Replaces &, <, >, " and ' by entity references, in place.
  static void EscapeDOMChars(I18NString& text);
  /// The failure document for the exception in flight (call it inside a
  /// catch handler); never raises.
  static I18NString GetExceptionThrownDoc();
  /// Prints document and a line feed on standard output and flushes it.
  /// Returns 0 on success, else the system's error (errno, a Win32 code).
  static uint32_t WriteToStdOut(const I18NString& document);
};

#endif  // QAMCVS_CONTRACTS_QAMFORMATTER_H_
