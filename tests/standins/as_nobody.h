// Runs a check in a child process as the unprivileged user "nobody", so that
// permission cases mean something when the tests run as root.
#ifndef QAMCVS_TESTS_STANDINS_AS_NOBODY_H_
#define QAMCVS_TESTS_STANDINS_AS_NOBODY_H_

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

namespace testing_support {

/// Exit status that AsNobody returns when the child could not drop its rights.
constexpr int kCouldNotBecomeNobody = 99;

/// Runs check in a forked child, as "nobody" when this process is root (as
/// itself otherwise), and returns check's result (0..98), or
/// kCouldNotBecomeNobody, or -1 when the child died.
inline int AsNobody(const std::function<int()>& check) {
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0) {
      const struct passwd* nobody = getpwnam("nobody");
      if (nobody == nullptr || setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
          setuid(nobody->pw_uid) != 0) {
        _exit(kCouldNotBecomeNobody);
      }
    }
    _exit(check());
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace testing_support

#endif  // QAMCVS_TESTS_STANDINS_AS_NOBODY_H_
