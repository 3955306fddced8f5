// The driver's outcome table, on the real binary.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

using testing_support::ParseXml;
using testing_support::RunQamcvs;

TEST(BinaryDriverTest, IdsWithoutCommandPrintNothingAndExitZero) {
  for (const char* id : {"2", "6", "0", "-1", "10", "+2", "2147483647", "-2147483648"}) {
    auto result = RunQamcvs({id});
    EXPECT_EQ(result.status, 0) << id;
    EXPECT_EQ(result.out, "") << id;
  }
}

TEST(BinaryDriverTest, EveryRejectedCommandLineIsOneFailureDocumentWithStatusZero) {
  for (const auto& c : testing_support::RefusedCommandLines()) {
    std::string shown = testing::PrintToString(c.args).substr(0, 80);
    // A Windows command line holds at most 32,767 characters.
    if (testing_support::TestingWindowsBuild() && !c.args.empty() && c.args.back().size() > 30000) {
      continue;
    }
    auto result = RunQamcvs(c.args);
    EXPECT_EQ(result.status, 0) << shown;
    SCOPED_TRACE(shown);
    const auto failure = testing_support::ExpectFailureDocument(result.out);
    EXPECT_NE(failure.message.find(c.mustMention), std::string::npos) << failure.message;
    EXPECT_EQ(failure.function, "QamCmdLineArg::ProcessCmdParams");
    // Exactly one document and one line feed, at the end.
    EXPECT_EQ(result.out.find("<?xml"), result.out.rfind("<?xml")) << shown;
    EXPECT_EQ(result.out.find('\n'), result.out.size() - 1) << shown;
  }
}

TEST(BinaryDriverTest, HelpAndVersionPrintTextAndExitZero) {
  auto help = RunQamcvs({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: qamcvs ID [NAME=VALUE]...\n", 0), 0u) << help.out;
  EXPECT_EQ(help.out.find("<?xml"), std::string::npos);
  EXPECT_EQ(help.out.back(), '\n');
  auto version = RunQamcvs({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("qamcvs ", 0), 0u) << version.out;
  EXPECT_EQ(version.out.find('\n'), version.out.size() - 1) << version.out;
  EXPECT_EQ(version.err, "");
}

// Output must be complete whether standard output is a pipe (RunQamcvs) or a
// file (fully buffered, lost unless flushed before exit), on every path.
TEST(BinaryDriverTest, OutputIsFlushedToPipesAndFilesOnEveryPath) {
  testing_support::TempDir temp;
  struct Case {
    std::string args;
    int status;
    std::string rootChild;  // "" when nothing is printed
  } cases[] = {
      {"abc", 0, "Error"},
      {"8 PathToRep=" + temp.path(), 1, "Output"},
      {"8", 0, "Error"},  // the base constructor raises: PathToRep is required
      {"6", 0, ""},
      {"--version", 0, ""},
  };
  for (const Case& c : cases) {
    std::string file = temp / "out.txt";
    auto shell = testing_support::Shell(testing_support::QamcvsShellCommand() + " " + c.args + " >" +
                                            file + " 2>/dev/null; echo $?",
                                        false);
    EXPECT_EQ(shell.out, std::to_string(c.status) + "\n") << c.args;
    std::string toFile = testing_support::ReadFile(file);
    std::vector<std::string> args;
    std::istringstream words(c.args);
    for (std::string word; words >> word;) args.push_back(word);
    auto toPipe = RunQamcvs(args);
    EXPECT_EQ(toPipe.status, c.status) << c.args;
    EXPECT_EQ(toPipe.out, toFile) << c.args;
    if (c.rootChild.empty()) {
      if (c.args != "--version") {
        EXPECT_EQ(toFile, "") << c.args;
      }
      continue;
    }
    auto xml = ParseXml(toFile);
    ASSERT_TRUE(xml.wellFormed) << c.args << ": " << xml.error << "\n" << toFile;
    EXPECT_EQ(xml.TextsOf(c.rootChild).size(), 1u) << c.args;
    EXPECT_EQ(toFile.back(), '\n') << c.args;
  }
}

// A document that cannot be written is a failure, not a success: the exit
// status stays 0 and the program does not crash.
TEST(BinaryDriverTest, UnwritableStandardOutputExitsZero) {
  testing_support::TempDir temp;
  for (std::string args : {"8 PathToRep=" + temp.path(), std::string("abc")}) {
    auto shell = testing_support::Shell(
        testing_support::QamcvsShellCommand() + " " + args + " >/dev/full 2>/dev/null; echo $?", false);
    EXPECT_EQ(shell.out, "0\n") << args;
  }
}

// A host that starts the program with standard output closed gets no
// document and exit status 0: the closed descriptors are filled before
// anything opens a file, so that the trace's syslog connection cannot take
// descriptor 1 and receive the document. Standard input closed gave no
// text: OutputFile=- then fails, and does not read as empty.
TEST(BinaryDriverTest, ClosedStandardDescriptorsTakeNoDocument) {
  testing_support::TempDir temp;
  const std::string binary = testing_support::QamcvsShellCommand();
  const std::string root = testing_support::ShellQuote(temp.path());
  struct Case {
    std::string command;
    std::string output;  // standard output and the status echoed after it
  } cases[] = {
      {binary + " 1 PathToRep=" + root + " >&- 2>/dev/null; echo $? >&2", ""},
      {binary + " 8 PathToRep=" + root + " >&- 2>&-; echo $? >&2", ""},
      {binary + " abc >&- 2>/dev/null; echo $? >&2", ""},
      {binary + " 9 OutputFile=- <&- 2>&-; echo $?", "standard input was closed"},
      {binary + " 4 OutputFile=- <&- 2>&-; echo $?", "standard input was closed"},
  };
  for (const Case& c : cases) {
    // Under Wine a closed Unix descriptor is not a closed Windows handle
    // (the Windows port's own test gives it none).
    if (testing_support::TestingWindowsBuild() && !c.output.empty()) continue;
    auto shell = testing_support::Shell(c.command, false);
    if (c.output.empty()) {
      EXPECT_EQ(shell.out, "") << c.command;
      EXPECT_EQ(shell.err, "0\n") << c.command;
      continue;
    }
    const std::size_t status = shell.out.rfind('\n', shell.out.size() - 2);
    ASSERT_NE(status, std::string::npos) << shell.out;
    EXPECT_EQ(shell.out.substr(status + 1), "0\n") << c.command;
    auto xml = testing_support::ParseXml(shell.out.substr(0, status + 1));
    ASSERT_TRUE(xml.wellFormed) << shell.out;
    ASSERT_EQ(xml.TextsOf("Message").size(), 1u) << shell.out;
    EXPECT_NE(xml.TextsOf("Message")[0].find(c.output), std::string::npos) << shell.out;
  }

  // With a system log to talk to, the trace's connection is the first file
  // the run opens. The log is a socket at /dev/log in a mount namespace of
  // the test's own, so the machine's log is never touched.
  if (testing_support::TestingWindowsBuild()) GTEST_SKIP() << "there is no syslog on Windows";
  if (!testing_support::RunningAsRoot()) GTEST_SKIP() << "a private /dev/log needs root";
  int fromChild[2];
  ASSERT_EQ(pipe(fromChild), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fromChild[0]);
    auto report = [&](const std::string& text) {
      ssize_t ignored = write(fromChild[1], text.data(), text.size());
      (void)ignored;
      _exit(0);
    };
    // Private, so that the tmpfs on /dev never reaches the machine's own
    // mounts; in a chroot "/" is no mount point, but /dev usually is.
    if (unshare(CLONE_NEWNS) != 0 ||
        (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 &&
         mount(nullptr, "/dev", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) ||
        mount("tmpfs", "/dev", "tmpfs", 0, nullptr) != 0 ||
        mknod("/dev/null", S_IFCHR | 0666, makedev(1, 3)) != 0) {
      report(std::string("skip: no private /dev here: ") + std::strerror(errno));
    }
    const int log = socket(AF_UNIX, SOCK_DGRAM, 0);
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, "/dev/log");
    if (log < 0 || bind(log, reinterpret_cast<struct sockaddr*>(&address), sizeof address) != 0) {
      report(std::string("skip: no socket at /dev/log: ") + std::strerror(errno));
    }
    const pid_t run = fork();
    if (run == 0) {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, STDERR_FILENO);
      close(null);
      close(STDOUT_FILENO);
      execl(QAMCVS_BINARY, QAMCVS_BINARY, "1", ("PathToRep=" + temp.path()).c_str(),
            "PathInRep=x", static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(run, &status, 0);
    std::string logged;
    char message[65536];
    for (ssize_t got; (got = recv(log, message, sizeof message, MSG_DONTWAIT)) > 0;) {
      logged.append(message, static_cast<std::size_t>(got));
      logged += '\n';
    }
    report("status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + "\n" +
           logged);
  }
  close(fromChild[1]);
  std::string told;
  char buffer[4096];
  for (ssize_t got; (got = read(fromChild[0], buffer, sizeof buffer)) > 0;) {
    told.append(buffer, static_cast<std::size_t>(got));
  }
  close(fromChild[0]);
  waitpid(pid, nullptr, 0);
  if (told.rfind("skip: ", 0) == 0) GTEST_SKIP() << told;
  EXPECT_EQ(told.rfind("status 0\n", 0), 0u) << told;
  EXPECT_EQ(told.find("QAM_DOC"), std::string::npos) << "the document went to the log:\n" << told;
  EXPECT_NE(told.find(temp.path() + "/x"), std::string::npos) << "the trace was not logged:\n"
                                                              << told;
}

// Source and Function name the raise itself: the line Source points at holds
// the raise, and Function is the function around it, whichever layer raised.
TEST(BinaryDriverTest, FailureDocumentsNameThePlaceOfTheRaise) {
  testing_support::TempDir temp;
  testing_support::WriteFile(temp / "log", "neither word\n");
  // Over the size limit by its size alone: refused before a byte is read.
  testing_support::WriteFile(temp / "huge", "");
  std::filesystem::resize_file(temp / "huge", std::uintmax_t{2} << 30);
  using Args = std::vector<std::string>;
  struct Case {
    Args args;
    std::string function;
  } cases[] = {
      {{"4x"}, "QamCmdLineArg::ProcessCmdParams"},
      {{"1", "PathToRep="}, "QamExist::QamExist"},
      {{"5"}, "QamEnumChildren::QamEnumChildren"},
      {{"4"}, "CaptureToolText"},
      {{"4", "OutputFile=" + (temp / "missing")}, "CaptureToolText"},
      {{"4", "OutputFile=" + (temp / "log"), "Encoding=no-such"}, "OpenConverter"},
      {{"4", "OutputFile=" + (temp / "huge")}, "ReadAll"},
      {{"9", "OutputFile=" + (temp / "log")}, "QamCVSIsFileDifferent::ProceesOutPut"},
      {{"7", "PathToRep=/r"}, "QamCVSCreateFolder::QamCVSCreateFolder"},
  };
  std::vector<std::string> places;
  for (const Case& c : cases) {
    std::string shown = testing::PrintToString(c.args);
    auto xml = ParseXml(RunQamcvs(c.args).out);
    ASSERT_EQ(xml.TextsOf("Source").size(), 1u) << shown;
    EXPECT_EQ(xml.TextsOf("Function"), std::vector<std::string>{c.function}) << shown;
    const std::string source = xml.TextsOf("Source")[0];
    const std::size_t colon = source.rfind(':');
    ASSERT_NE(colon, std::string::npos) << shown << ": " << source;
    auto found =
        testing_support::Shell("find " QAMCVS_SOURCE_DIR " -path '*/build*' -prune -o -name '" +
                               source.substr(0, colon) + "' -print");
    std::istringstream file(testing_support::ReadFile(found.out.substr(0, found.out.find('\n'))));
    std::string line;
    for (int number = std::stoi(source.substr(colon + 1)); number > 0; --number) {
      std::getline(file, line);
    }
    EXPECT_TRUE(line.find("QAM_RAISE") != std::string::npos ||
                line.find("PYL_RAISE") != std::string::npos ||
                line.find(".Raise(") != std::string::npos)
        << shown << ": " << source << " is \"" << line << "\"";
    places.push_back(source);
  }
  // Two capture failures raised in different places name different lines.
  EXPECT_NE(places[3], places[4]);
}
