// The utility library: messages and exceptions, path and white-space
// helpers, and directories.
#ifndef QAMCVS_CONTRACTS_QAMUTIL_H_
#define QAMCVS_CONTRACTS_QAMUTIL_H_

#include <string>
#include <vector>

#include "I18NString.h"
#include "PYLException.h"

/// A numbered message of the utility library.
class QamMessage : public PYLMessageBase {
 public:
  explicit QamMessage(unsigned long number, I18NString text = I18NString())
      : PYLMessageBase(number, std::move(text)) {}
};

/// The exception of the utility library; Raise throws a QamException.
class QamException : public PYLException {
 public:
  explicit QamException(long code) : PYLException(code) {}
  QamException(long code, I18NString text) : PYLException(code, std::move(text)) {}
  [[noreturn]] void Raise(const SourceLocation& where, const char* function,
                          const char* macro) override;
};

/// Raises a QamException with code and message number `code` and `text`.
[[noreturn]] void QamRaise(unsigned long code, const I18NString& text,
                           const SourceLocation& where, const char* function);

/// The way every layer above the string library raises: QamRaise with the
/// caller's own file, line and function, so that a failure document names
/// the place that raised it.
#define QAM_RAISE(code, text)                                    \
  ::QamRaise((code), (text), SourceLocation(__FILE__, __LINE__), \
             QamFunctionName(__PRETTY_FUNCTION__).c_str())

/// Path and white-space helpers. Each changes its argument in place, except
/// JoinPath, which returns the joined path.
class QamSystemUtils {
 public:
  /// Drops leading white space (blank, tab, line feed, carriage return, VT, FF).
  static void TrimLeft(I18NString& text);
  /// Drops trailing white space.
  static void TrimRight(I18NString& text);
  /// Drops trailing "/" and "\" separators, but never the first character,
  /// so "/" stays "/".
  static void EnsureNoTrailingSlash(I18NString& path);
  /// Reads a repository root as the system's own programs read it
  /// (platform::RepositoryRoot): unchanged here; on Windows without the
  /// trailing dots and blanks of its last component.
  static void ReadAsRepositoryRoot(I18NString& root);
  /// Turns every "\" into "/".
  static void ReplaceBackSlashWithForwardSlash(I18NString& path);
  /// folder, "/" and name: nothing dropped, nothing normalised.
  static I18NString JoinPath(const I18NString& folder, const I18NString& name);
};

/// Directory helpers over the real file system.
class QamDvDir {
 public:
  /// Stat-style mode bits for exists().
  static constexpr unsigned short kFolder = 0x4000;
  static constexpr unsigned short kFile = 0x8000;
  static constexpr unsigned short kReadable = 0x0100;
  static constexpr unsigned short kWritable = 0x0080;

  /// Non-zero if path exists (links followed) and satisfies every bit of
  /// mask: kFolder, kFile, and kReadable / kWritable checked against the
  /// calling process's real access rights.
  static int exists(const I18NString& path, unsigned short mask);
  /// Non-zero if anything exists at path beneath the folder root (a final
  /// link not followed), every link before it resolved without leaving root.
  static int ExistsBeneath(const I18NString& root, const I18NString& path);
  /// Makes exactly one folder, path beneath the folder root, so that it lies
  /// beneath root with every link resolved (root itself may be a link).
  /// Non-zero on success; on failure the system's error (errno,
  /// GetLastError) is left for the caller to read, EXDEV when the path would
  /// leave root.
  static int createDirBeneath(const I18NString& root, const I18NString& path);
  /// Reads folder: bare names of its files into files and of its sub-folders
  /// into folders, each sorted by name, without "." and "..". An entry that
  /// is a link to a folder counts as a folder; any other entry as a file.
  /// Non-zero when the folder was read. The filter arguments must be null.
  static int readDir(const I18NString& folder, std::vector<I18NString>& files,
                     const void* fileFilter, std::vector<I18NString>& folders,
                     const void* folderFilter);
};

#endif  // QAMCVS_CONTRACTS_QAMUTIL_H_
