// What the tests, the fuzz targets and the benchmarks share, with no test
// framework: the check of a failure document, temporary folders, running a
// command in this process as the driver does, and the long rlog log of
// scripts/make_long_archive.sh. The tests' gtest-side helpers are in
// test_support.h; the fuzz targets' stops in fuzz/fuzz_support.h.
#ifndef QAMCVS_TESTS_SUPPORT_TOOLKIT_H_
#define QAMCVS_TESTS_SUPPORT_TOOLKIT_H_

#include <string>

#include "I18NString.h"
#include "QamFormatter.h"
#include "support/parsed_xml.h"

namespace testing_support {

/// The code of every failure the program raises on its input: a refused
/// command line, a missing parameter, unreadable or unrecognised tool text.
constexpr char kInputErrorCode[] = "0x56177B77";

/// Empty when parsed is a failure document: well-formed, root QAM_DOC, one
/// Error holding one Code (0x and eight hex digits), one non-empty Message,
/// one Source and one Function. Otherwise what is wrong with it.
std::string FailureDocumentFault(const ParsedXml& parsed);

/// A fresh folder under the system's temporary folder, removed with
/// everything in it on destruction (folders a test made unreadable too).
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  /// path() + "/" + name
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

/// Replaces the file at path with bytes; false when it cannot be written.
bool WriteFile(const std::string& path, const std::string& bytes);

/// The bytes of the file at path; empty when it cannot be read.
std::string ReadFile(const std::string& path);

/// What a command gives the driver: its document (UTF-8), or the failure
/// document when it raised.
struct CommandRun {
  std::string document;
  bool raised = false;
};

/// The parameters of a command that reads the tool's text (ids 3, 4, 9):
/// OutputFile, and Encoding when not empty.
QamInputParams ToolTextParams(const std::string& outputFile, const std::string& encoding = "");

/// Runs Command in this process the way the driver does, on params: built,
/// ProceesOutPut, ConverToQamFormat, and the failure document when any step
/// raises. The XML platform is the caller's to start.
template <class Command>
CommandRun RunCommand(QamInputParams params) {
  CommandRun run;
  try {
    Command command(params);
    command.ProceesOutPut();
    run.document = std::string(command.ConverToQamFormat().utf8());
  } catch (...) {
    run.raised = true;
    run.document = std::string(QamFormatterUtility::GetExceptionThrownDoc().utf8());
  }
  return run;
}

/// The path of what rlog prints for the archive of count trunk revisions
/// that scripts/make_long_archive.sh writes, kept in folder as
/// rlog-COUNT-revisions.log and made again only when missing or older than
/// the script; empty when the script or rlog fails.
std::string LongRlogLog(int count, const std::string& folder);

}  // namespace testing_support

#endif  // QAMCVS_TESTS_SUPPORT_TOOLKIT_H_
