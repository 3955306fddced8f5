// Real CVS repositories and RCS archives made with the cvs and rcs tools, and
// the logs those tools print for them. Commands run without a shell, so any
// text (quotes, markup, line feeds, non-ASCII) passes through unchanged.
#ifndef QAMCVS_TESTS_SUPPORT_CVS_FIXTURE_H_
#define QAMCVS_TESTS_SUPPORT_CVS_FIXTURE_H_

#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace testing_support {

/// (path relative to the module or working copy, content)
using FileList = std::vector<std::pair<std::string, std::string>>;

/// Runs program with arguments in folder, LOGNAME set to author (cvs records
/// it as the author; rcs as the lock holder). Fails the test (ADD_FAILURE)
/// with the output when check is true and the program fails.
RunResult RunIn(const std::string& folder, const std::string& author,
                const std::vector<std::string>& argv, bool check = true);

/// A repository made by "cvs init" in a fresh temporary folder, removed with
/// it. Every step fails the test (ADD_FAILURE) when cvs fails.
class CvsFixture {
 public:
  CvsFixture();
  /// The repository root (absolute, no trailing "/").
  const std::string& root() const { return root_; }
  /// root() + "/" + inRepository.
  std::string Path(const std::string& inRepository) const { return root_ + "/" + inRepository; }
  /// The archive of a path in the repository ("module/file" -> root/module/file,v).
  std::string Archive(const std::string& inRepository) const { return Path(inRepository) + ",v"; }
  /// A path in the temporary folder beside the repository.
  std::string Scratch(const std::string& name) const { return temp_ / name; }

  /// "cvs import" of files as module: revision 1.1 ("Initial revision") of
  /// each and the vendor branch 1.1.1.1 with message.
  void Import(const std::string& module, const FileList& files,
              const std::string& message = "Initial import", const std::string& author = "alice");
  /// "cvs checkout" of module into a new working copy; returns its path.
  std::string Checkout(const std::string& module);
  /// Runs cvs with arguments in a working copy as author.
  RunResult Cvs(const std::string& workingCopy, const std::vector<std::string>& arguments,
                const std::string& author = "alice", bool check = true);
  /// "cvs commit" of names with message (given through a file, so any text
  /// works; an empty message makes cvs write "*** empty log message ***").
  void Commit(const std::string& workingCopy, const std::vector<std::string>& names,
              const std::string& message, const std::string& author = "alice");
  /// "cvs log" with arguments (options, then names) in a working copy
  /// (standard output only).
  std::string Log(const std::string& workingCopy, const std::vector<std::string>& arguments);
  /// "cvs rlog" with options of a path in the repository.
  std::string RLog(const std::string& inRepository, const std::vector<std::string>& options = {});
  /// Hands the whole repository to user nobody (for permission cases).
  void GiveToNobody();

 private:
  TempDir temp_;
  std::string root_;
  int serial_ = 0;
};

/// rlog's text, with options, for an RCS archive.
std::string RcsLog(const std::string& archive, const std::vector<std::string>& options = {});

/// Checks in the content of workFile as revision (empty: the next one) with
/// rcs's ci, author, date ("YYYY/MM/DD hh:mm:ss") and message; the first
/// check-in makes the archive workFile,v with non-strict locking.
void RcsCheckIn(const std::string& workFile, const std::string& content,
                const std::string& revision, const std::string& author,
                const std::string& date, const std::string& message);

}  // namespace testing_support

#endif  // QAMCVS_TESTS_SUPPORT_CVS_FIXTURE_H_
