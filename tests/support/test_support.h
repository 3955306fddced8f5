// Helpers shared by the tests: running processes, temporary folders, and
// reading documents back with an XML parser (parsed_xml.h).
#ifndef QAMCVS_TESTS_SUPPORT_TEST_SUPPORT_H_
#define QAMCVS_TESTS_SUPPORT_TEST_SUPPORT_H_

#include <functional>
#include <string>
#include <vector>

#include "I18NString.h"
#include "QamFormatter.h"
#include "support/parsed_xml.h"

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

/// A fresh folder under /tmp, removed with everything in it on destruction.
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

void WriteFile(const std::string& path, const std::string& bytes);

/// path with every "/" written as a back-slash.
std::string WithBackSlashes(std::string path);

/// text with every line feed preceded by a carriage return.
std::string WithCrLf(const std::string& text);

/// A command that reads the tool's text (ids 3, 4, 9), constructed in this
/// process on text written to a temporary OutputFile (with Encoding when
/// given); the file lives as long as the returned object.
template <class Command>
struct CommandOnText {
  CommandOnText(const std::string& text, const std::string& encoding)
      : params(ParamsFor(dir, text, encoding)), command(params) {}
  static QamInputParams ParamsFor(const TempDir& where, const std::string& text,
                                  const std::string& encoding) {
    WriteFile(where / "tool-output.txt", text);
    QamInputParams result;
    result.SetValue("OutputFile", I18NString((where / "tool-output.txt").c_str()));
    if (!encoding.empty()) result.SetValue("Encoding", I18NString(encoding.c_str()));
    return result;
  }
  TempDir dir;
  QamInputParams params;
  Command command;
};

/// Runs a tool-text command in this process as the driver would and returns
/// its document (UTF-8).
template <class Command>
std::string DocumentForText(const std::string& text, const std::string& encoding = "") {
  CommandOnText<Command> run(text, encoding);
  run.command.ProceesOutPut();
  return std::string(run.command.ConverToQamFormat().utf8());
}
std::string ReadFile(const std::string& path);

}  // namespace testing_support

#endif  // QAMCVS_TESTS_SUPPORT_TEST_SUPPORT_H_
