// Helpers of the tests: running processes, the failure-document check, and
// what they share with the fuzz targets and benchmarks (toolkit.h).
#ifndef QAMCVS_TESTS_SUPPORT_TEST_SUPPORT_H_
#define QAMCVS_TESTS_SUPPORT_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "I18NString.h"
#include "QamFormatter.h"
#include "support/parsed_xml.h"
#include "support/toolkit.h"

namespace testing_support {

struct RunResult {
  int status = -1;  // exit status; 128 + signal number when killed
  std::string out;
  std::string err;
  double seconds = 0;  // wall-clock time from start to exit
  long peakBytes = 0;  // the child's peak resident set, from wait4
};

/// Runs argv[0] (found on PATH) with argv, feeding input on standard input.
/// With killAfterSeconds > 0 the child is killed (SIGKILL) when it runs
/// longer, so a hang fails a test instead of stopping the suite.
RunResult Run(const std::vector<std::string>& argv, const std::string& input = "",
              int killAfterSeconds = 0);

/// Runs the qamcvs binary under test with args.
RunResult RunQamcvs(const std::vector<std::string>& args, const std::string& input = "",
                    int killAfterSeconds = 0);

/// The program under test: $QAMCVS_TEST_BINARY when set (qamcvs.exe, say),
/// else the qamcvs built with the suite.
std::string QamcvsBinary();
/// What starts it: $QAMCVS_TEST_LAUNCHER ("wine"), empty to run it directly.
std::string QamcvsLauncher();
/// The launcher and the binary, quoted, to begin a bash command line.
std::string QamcvsShellCommand();
/// True when the program under test is the Windows build.
bool TestingWindowsBuild();

/// Runs a bash command line; returns its exit status and output. Fails the
/// test (ADD_FAILURE) with the output when check is true and it fails.
RunResult Shell(const std::string& command, bool check = true);

/// True when a program is on PATH.
bool HaveProgram(const std::string& name);

/// True when the tests run as root, where permission cases need an
/// unprivileged user (see AsNobody and RunQamcvsUnprivileged).
bool RunningAsRoot();

/// Exit status of a child that could not drop its rights to those of "nobody".
constexpr int kCouldNotBecomeNobody = 99;

/// Runs check in a forked child, as "nobody" when this process is root (as
/// itself otherwise), and returns check's result (0..98), or
/// kCouldNotBecomeNobody, or -1 when the child died.
int AsNobody(const std::function<int()>& check);

/// Empty when qamcvs can run as an unprivileged user whose permissions
/// matter (nobody under root, or the current user when not root); else why not.
std::string UnprivilegedUnavailable();

/// Runs qamcvs with args as that unprivileged user.
RunResult RunQamcvsUnprivileged(const std::vector<std::string>& args);

/// text in single quotes for bash.
std::string ShellQuote(const std::string& text);

/// A command line the parser refuses, and what the Message of its failure
/// document holds (UTF-8, as an XML parser reads it back).
struct RefusedCommandLine {
  std::vector<std::string> args;  // after the program name
  std::string mustMention;
};

/// Every kind of command line the parser refuses, once each.
const std::vector<RefusedCommandLine>& RefusedCommandLines();

/// path with every "/" written as a back-slash.
std::string WithBackSlashes(std::string path);

/// text with every line feed preceded by a carriage return.
std::string WithCrLf(const std::string& text);

/// The declaration every document begins with.
constexpr char kXmlDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
/// The Reason of a folder creation refused for its path (its words as the
/// host expects them).
constexpr char kInvalidPathReason[] = "The specified path in repository is not invalid";

/// A test of what an unprivileged user may do (root may read and write
/// everything); skipped where no such user can run qamcvs (see
/// UnprivilegedUnavailable).
class UnprivilegedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string why = UnprivilegedUnavailable();
    if (!why.empty()) GTEST_SKIP() << "permission cases skipped: " << why;
  }
};

/// The parts of a failure document, read back (UTF-8).
struct FailureDocument {
  ParsedXml xml;
  std::string code, message, source, function;
};

/// Expects document to be one failure document (see FailureDocumentFault)
/// carrying code (any code when code is empty); returns its parts, empty
/// where it has none.
FailureDocument ExpectFailureDocument(const std::string& document,
                                      const std::string& code = kInputErrorCode);

/// Runs a tool-text command (ids 3, 4, 9) in this process as the driver
/// would, on text written to a temporary OutputFile (with Encoding when given).
template <class Command>
CommandRun RunCommandOnText(const std::string& text, const std::string& encoding = "") {
  TempDir dir;
  WriteFile(dir / "tool-output.txt", text);
  return RunCommand<Command>(ToolTextParams(dir / "tool-output.txt", encoding));
}

/// The document of a tool-text command run as by RunCommandOnText (UTF-8);
/// a raise fails the test.
template <class Command>
std::string DocumentForText(const std::string& text, const std::string& encoding = "") {
  CommandRun run = RunCommandOnText<Command>(text, encoding);
  EXPECT_FALSE(run.raised) << run.document;
  return run.document;
}

}  // namespace testing_support

#endif  // QAMCVS_TESTS_SUPPORT_TEST_SUPPORT_H_
