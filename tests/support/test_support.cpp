#include "support/test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <malloc.h>
#include <poll.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>
#include <xercesc/util/PlatformUtils.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testing_support {
namespace {

// Xerces-C is up for every test: command documents are written through its
// formatter whether or not a test starts the program's XML platform.
class XmlPlatformEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { xercesc::XMLPlatformUtils::Initialize(); }
  void TearDown() override { xercesc::XMLPlatformUtils::Terminate(); }
};

const ::testing::Environment* const kXmlEnvironment =
    ::testing::AddGlobalTestEnvironment(new XmlPlatformEnvironment);

}  // namespace

// Processes are started only by the Linux suite; the Windows one runs in-process tests.
#ifndef _WIN32
namespace {

// The user and group "nobody", looked up before a fork so that the child
// need not read the user database.
struct Nobody {
  bool known = false;
  uid_t uid = 0;
  gid_t gid = 0;
};

Nobody LookUpNobody() {
  Nobody nobody;
  if (const struct passwd* entry = getpwnam("nobody")) {
    nobody = {true, entry->pw_uid, entry->pw_gid};
  }
  return nobody;
}

// In a forked child: drops every right to those of nobody when running as
// root (supplementary groups first, the user last); true when done or not needed.
bool BecomeNobody(const Nobody& nobody) {
  if (geteuid() != 0) return true;
  return nobody.known && setgroups(0, nullptr) == 0 && setgid(nobody.gid) == 0 &&
         setuid(nobody.uid) == 0;
}

// Run, as nobody (see BecomeNobody) when unprivileged is true.
RunResult RunChild(const std::vector<std::string>& argv, const std::string& input,
                   int killAfterSeconds, bool unprivileged) {
  RunResult result;
  const Nobody nobody = unprivileged ? LookUpNobody() : Nobody();
#ifdef __GLIBC__
  // A forked child's peak resident set counts the pages it shares with this
  // process at the fork: hand the free ones back first (a test that read a
  // large document holds many), so that peakBytes is the child's own.
  malloc_trim(0);
#endif
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::seconds(killAfterSeconds);
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return result;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (unprivileged && !BecomeNobody(nobody)) _exit(kCouldNotBecomeNobody);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  std::size_t written = 0;
  if (input.empty()) {
    close(in[1]);
    in[1] = -1;
  }
  fcntl(out[0], F_SETFL, O_NONBLOCK);
  fcntl(err[0], F_SETFL, O_NONBLOCK);
  if (in[1] >= 0) fcntl(in[1], F_SETFL, O_NONBLOCK);
  bool outOpen = true, errOpen = true;
  char buffer[65536];
  while (outOpen || errOpen) {
    struct pollfd fds[3];
    int n = 0;
    if (outOpen) fds[n++] = {out[0], POLLIN, 0};
    if (errOpen) fds[n++] = {err[0], POLLIN, 0};
    if (in[1] >= 0) fds[n++] = {in[1], POLLOUT, 0};
    int wait = -1;
    if (killAfterSeconds > 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        kill(pid, SIGKILL);
        break;
      }
      wait = static_cast<int>(left.count());
    }
    if (poll(fds, static_cast<nfds_t>(n), wait) < 0) {
      // A signal leaves revents as they were: poll again.
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == in[1]) {
        ssize_t put = write(in[1], input.data() + written, input.size() - written);
        if (put > 0) written += static_cast<std::size_t>(put);
        if (put < 0 && errno != EAGAIN && errno != EINTR) written = input.size();
        if (written == input.size()) {
          close(in[1]);
          in[1] = -1;
        }
        continue;
      }
      ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        (fds[i].fd == out[0] ? result.out : result.err).append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
        if (fds[i].fd == out[0]) outOpen = false; else errOpen = false;
      }
    }
  }
  if (in[1] >= 0) close(in[1]);
  close(out[0]);
  close(err[0]);
  int status = 0;
  struct rusage usage {};
  // Killed at the deadline, a child may still hold a pipe open through a
  // grandchild; it is waited for all the same.
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.peakBytes = usage.ru_maxrss * 1024L;  // Linux reports kilobytes
  return result;
}

}  // namespace

RunResult Run(const std::vector<std::string>& argv, const std::string& input,
              int killAfterSeconds) {
  return RunChild(argv, input, killAfterSeconds, false);
}

RunResult RunQamcvs(const std::vector<std::string>& args, const std::string& input,
                    int killAfterSeconds) {
  std::vector<std::string> argv;
  if (!QamcvsLauncher().empty()) argv.push_back(QamcvsLauncher());
  argv.push_back(QamcvsBinary());
  argv.insert(argv.end(), args.begin(), args.end());
  return Run(argv, input, killAfterSeconds);
}

std::string QamcvsShellCommand() {
  std::string command;
  if (!QamcvsLauncher().empty()) command = "'" + QamcvsLauncher() + "' ";
  return command + "'" + QamcvsBinary() + "'";
}

RunResult Shell(const std::string& command, bool check) {
  RunResult result = Run({"bash", "-c", command});
  if (check && result.status != 0) {
    ADD_FAILURE() << "command failed (" << result.status << "): " << command << "\n"
                  << result.out << result.err;
  }
  return result;
}

bool HaveProgram(const std::string& name) {
  return Run({"bash", "-c", "command -v " + name + " >/dev/null"}).status == 0;
}

bool RunningAsRoot() { return geteuid() == 0; }

int AsNobody(const std::function<int()>& check) {
  const Nobody nobody = LookUpNobody();
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    if (!BecomeNobody(nobody)) _exit(kCouldNotBecomeNobody);
    _exit(check());
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string UnprivilegedUnavailable() {
  const std::string binary = QamcvsBinary();
  if (!QamcvsLauncher().empty()) {
    return "the program runs through " + QamcvsLauncher() + ", whose set-up belongs to root";
  }
  if (!RunningAsRoot()) return std::string();
  RunResult probe = RunChild({"test", "-x", binary}, "", 0, true);
  if (probe.status != 0) {
    return "user nobody cannot run " + binary + " (status " + std::to_string(probe.status) +
           "); permission cases need an unprivileged user, since root may read and write "
           "everything";
  }
  return std::string();
}

RunResult RunQamcvsUnprivileged(const std::vector<std::string>& args) {
  std::vector<std::string> argv{QamcvsBinary()};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunChild(argv, "", 0, true);
}

#endif  // _WIN32

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

const std::vector<RefusedCommandLine>& RefusedCommandLines() {
  static const std::vector<RefusedCommandLine> kLines = {
      {{}, "No command id"},
      {{"abc"}, "\"abc\""},
      {{"4x"}, "\"4x\""},
      {{""}, "\"\""},
      {{" 4"}, "\" 4\""},
      {{"4 "}, "\"4 \""},
      {{"+"}, "\"+\""},
      {{"-"}, "\"-\""},
      {{"+-4"}, "\"+-4\""},
      {{"0x10"}, "\"0x10\""},
      {{"2147483648"}, "32-bit"},
      {{"-2147483649"}, "32-bit"},
      {{"99999999999"}, "\"99999999999\""},
      {{"99999999999999999999999999999"}, "32-bit"},
      {{"1", "PathToRep"}, "\"PathToRep\" is not of the form NAME=VALUE"},
      {{"1", ""}, "\"\" is not of the form NAME=VALUE"},
      {{"1", "=value"}, "no parameter name"},
      {{"1", "Unknown=1"}, "\"Unknown\" is not known"},
      {{"1", "pathtorep=/r"}, "\"pathtorep\" is not known"},
      {{"1", "PathToRep =/r"}, "\"PathToRep \" is not known"},
      // The name as read (U+FFFD for the invalid byte), then as XML can carry it.
      {{"1", "Bad<&]]>\x01\xFF"}, "\"Bad<&]]>\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {{"1", "PathToRep=/a", "PathToRep=/b"}, "\"PathToRep\" is given twice"},
      {{"1", "PathInRep=", "PathInRep=x"}, "\"PathInRep\" is given twice"},
      {{"--help", "x"}, "--help takes no further arguments"},
      {{"--version", "PathToRep=x"}, "--version takes no further arguments"},
      // Shown shortened.
      {{"1", std::string(70000, 'x')}, "..."},
  };
  return kLines;
}

std::string QamcvsBinary() {
  const char* binary = std::getenv("QAMCVS_TEST_BINARY");
  return binary != nullptr && *binary != '\0' ? binary : QAMCVS_BINARY;
}

std::string QamcvsLauncher() {
  const char* launcher = std::getenv("QAMCVS_TEST_LAUNCHER");
  return launcher != nullptr ? launcher : "";
}

bool TestingWindowsBuild() {
  const std::string binary = QamcvsBinary();
  return binary.size() > 4 && binary.compare(binary.size() - 4, 4, ".exe") == 0;
}

FailureDocument ExpectFailureDocument(const std::string& document, const std::string& code) {
  FailureDocument failure;
  failure.xml = ParseXml(document);
  const std::string fault = FailureDocumentFault(failure.xml);
  EXPECT_EQ(fault, "") << document.substr(0, 2000);
  if (!fault.empty()) return failure;
  failure.code = failure.xml.TextsOf("Code")[0];
  failure.message = failure.xml.TextsOf("Message")[0];
  failure.source = failure.xml.TextsOf("Source")[0];
  failure.function = failure.xml.TextsOf("Function")[0];
  if (!code.empty()) {
    EXPECT_EQ(failure.code, code) << failure.message;
  }
  return failure;
}

std::string WithBackSlashes(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace testing_support
