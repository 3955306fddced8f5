// Real CVS repositories for the repository tree tests, made with the cvs
// tool, and a way to run qamcvs as an unprivileged user on them.
#ifndef QAMCVS_TESTS_SUPPORT_CVS_REPO_H_
#define QAMCVS_TESTS_SUPPORT_CVS_REPO_H_

#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace testing_support {

/// (path relative to the module or working copy, content)
using FileList = std::vector<std::pair<std::string, std::string>>;

/// A repository made by "cvs init" in a fresh temporary folder; authors are
/// "alice". Every step fails the test (ADD_FAILURE) when cvs fails.
class CvsRepo {
 public:
  CvsRepo();
  /// The repository root (absolute, no trailing "/").
  const std::string& root() const { return root_; }
  /// root() + "/" + inRepository.
  std::string Path(const std::string& inRepository) const { return root_ + "/" + inRepository; }
  /// A scratch folder beside the repository, removed with it.
  std::string Scratch(const std::string& name) const { return temp_ / name; }
  /// "cvs import" of files as module (revision 1.1 of each).
  void Import(const std::string& module, const FileList& files);
  /// "cvs checkout" of module; returns the working copy's path.
  std::string Checkout(const std::string& module);
  /// In working copy: writes files, "cvs add"s them (and new folders), commits.
  void AddAndCommit(const std::string& workingCopy, const FileList& files);
  /// In working copy: "cvs remove -f" and commit; the archives move to Attic/.
  void RemoveAndCommit(const std::string& workingCopy, const std::vector<std::string>& files);
  /// Hands the whole repository to user nobody (for permission cases).
  void GiveToNobody();

 private:
  RunResult Cvs(const std::string& folder, const std::string& arguments);

  TempDir temp_;
  std::string root_;
  int checkouts_ = 0;
};

/// text in single quotes for bash.
std::string ShellQuote(const std::string& text);

/// Empty when qamcvs can run as an unprivileged user whose permissions
/// matter (nobody under root, or the current user when not root); else why not.
std::string UnprivilegedUnavailable();

/// Runs qamcvs with args as that unprivileged user.
RunResult RunQamcvsUnprivileged(const std::vector<std::string>& args);

}  // namespace testing_support

#endif  // QAMCVS_TESTS_SUPPORT_CVS_REPO_H_
