// Path existence (id 1) on a real repository made with cvs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QamCVSExist.h"
#include "platform.h"
#include "support/cvs_fixture.h"
#include "support/test_support.h"

using testing_support::CvsFixture;
using testing_support::ParseXml;
using testing_support::RunQamcvs;
using testing_support::Shell;
using testing_support::ShellQuote;

namespace {

struct Answer {
  std::string repositoryExists;
  std::string pathExists;
};

Answer Ask(const std::vector<std::string>& args, int* status = nullptr,
           std::string* stderrText = nullptr,
           testing_support::RunResult (*run)(const std::vector<std::string>&) = nullptr) {
  std::vector<std::string> full{"1"};
  full.insert(full.end(), args.begin(), args.end());
  auto result = run != nullptr ? run(full) : RunQamcvs(full);
  if (status != nullptr) *status = result.status;
  if (stderrText != nullptr) *stderrText = result.err;
  auto xml = ParseXml(result.out);
  EXPECT_TRUE(xml.wellFormed) << xml.error << "\n" << result.out;
  auto repo = xml.TextsOf("RepositoryExists");
  auto path = xml.TextsOf("PathExists");
  if (repo.size() != 1 || path.size() != 1) {
    ADD_FAILURE() << "unexpected document: " << result.out;
    return {};
  }
  return {repo[0], path[0]};
}

// proj holds imported files, a folder, a removed file (in Attic/), a folder
// beside an archive of the same base name, an archive with a doubled ",v"
// and a plain file dropped into the repository without cvs.
class BinaryExistTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    repo_ = new CvsFixture();
    repo_->Import("proj", {{"readme.txt", "r\n"}, {"src/main.c", "m\n"},
                           {"both/inner.txt", "i\n"}, {"gone.txt", "g\n"}});
    const std::string copy = repo_->Checkout("proj");
    repo_->Cvs(copy, {"remove", "-f", "gone.txt"});
    repo_->Commit(copy, {"gone.txt"}, "remove files");
    testing_support::WriteFile(copy + "/notadded.txt", "never added\n");
    const std::string proj = repo_->Path("proj");
    Shell("cp " + ShellQuote(proj + "/readme.txt,v") + " " + ShellQuote(proj + "/both,v") +
          " && cp " + ShellQuote(proj + "/readme.txt,v") + " " +
          ShellQuote(proj + "/twice,v,v") + " && echo plain > " +
          ShellQuote(proj + "/plain.txt"));
  }
  static void TearDownTestSuite() {
    delete repo_;
    repo_ = nullptr;
  }
  static CvsFixture* repo_;
};

CvsFixture* BinaryExistTest::repo_ = nullptr;

TEST_F(BinaryExistTest, AnswersFromTheRepositoryOnDisk) {
  const std::string root = repo_->root();
  struct Case {
    std::string pathToRep;
    std::string pathInRep;
    Answer expected;
  };
  const Answer kBoth{"TRUE", "TRUE"}, kRootOnly{"TRUE", "FALSE"}, kNone{"FALSE", "FALSE"};
  const std::vector<Case> cases = {
      {root, "", kBoth},                     // the root itself
      {root, "proj", kBoth},                 // a folder
      {root, "proj/src", kBoth},
      {root, "proj/readme.txt", kBoth},      // an archive readme.txt,v
      {root, "CVSROOT/config", kBoth},       // config,v beside its checked-out copy
      {root, "proj/both", kBoth},            // folder and archive of one base name
      {root, "proj/Attic/gone.txt", kBoth},  // a removed file lives in Attic/
      {root, "proj/gone.txt", kRootOnly},    // ...and only there
      {root, "proj/notadded.txt", kRootOnly},  // only in a working copy
      {root, "proj/plain.txt", kRootOnly},   // a plain file is not an archive
      {root, "CVSROOT/history", kRootOnly},
      {root, "proj/missing", kRootOnly},
      {root, "proj/readme.txt,v", kRootOnly},  // looks for readme.txt,v,v
      {root, "proj/twice,v", kBoth},           // ...which is found when it exists
      // Trailing and doubled separators.
      {root + "/", "proj", kBoth},
      {root + "//", "proj/src", kBoth},
      {root, "proj/", kBoth},
      {root, "proj/readme.txt/", kBoth},
      {root, "proj//src", kBoth},
      {root + "/", "proj/readme.txt//", kBoth},
      {root, "proj\\", kBoth},  // a trailing back-slash is a separator too
      // Inside, back-slashes reach the disk as they are: a name on Linux, a
      // separator on Windows.
      {root, "proj\\src", testing_support::TestingWindowsBuild() ? kBoth : kRootOnly},
      // Unusable roots.
      {root + "/nothere", "", kNone},
      {root + "/nothere", "proj", kNone},
      {repo_->Path("CVSROOT/config"), "", kNone},  // a regular file
  };
  for (const Case& c : cases) {
    int status = -1;
    std::string errors;
    Answer got = Ask({"PathToRep=" + c.pathToRep, "PathInRep=" + c.pathInRep}, &status, &errors);
    SCOPED_TRACE(c.pathToRep + " | " + c.pathInRep);
    EXPECT_EQ(got.repositoryExists, c.expected.repositoryExists);
    EXPECT_EQ(got.pathExists, c.expected.pathExists);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(errors, "");  // the trace never reaches standard error
  }
}

TEST_F(BinaryExistTest, TracesTheComposedItemPathOnly) {
  std::vector<std::string> traced;
  platform::SetTraceSink([&traced](std::string_view text) { traced.emplace_back(text); });
  const std::string root = repo_->root();
  struct Case {
    std::string pathToRep;
    std::string pathInRep;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {root, "proj/src/", {root + "/proj/src"}},
      {root + "/", "proj", {root + "//proj"}},  // composed from the root as given
      {root, "", {root}},
      {root, "proj/missing", {root + "/proj/missing"}},  // no ",v" in the trace
      {root + "/nothere", "proj", {}},  // an unusable root composes nothing
      // A trace is one line: no path can forge a second one.
      {root, "proj/a\nfake line\r\x01", {root + "/proj/a#012fake line#015#001"}},
  };
  for (const Case& c : cases) {
    traced.clear();
    QamInputParams params;
    params.SetValue("PathToRep", I18NString::FromUtf8(c.pathToRep));
    params.SetValue("PathInRep", I18NString::FromUtf8(c.pathInRep));
    QamCVSExist command(params);
    command.ProceesOutPut();
    EXPECT_EQ(traced, c.expected) << c.pathToRep << " | " << c.pathInRep;
  }
  platform::SetTraceSink(nullptr);
}

// Root may read and write everything, so these run as an unprivileged user.
using BinaryExistPermissionTest = testing_support::UnprivilegedTest;

TEST_F(BinaryExistPermissionTest, RootMustBeReadableAndWritable) {
  CvsFixture repo;
  repo.Import("proj", {{"a.txt", "a\n"}});
  repo.GiveToNobody();
  const std::string root = repo.root();
  struct Case {
    const char* mode;
    Answer expected;
  };
  const std::vector<Case> cases = {
      {"0755", {"TRUE", "TRUE"}},
      {"0555", {"FALSE", "FALSE"}},  // readable, not writable
      {"0355", {"FALSE", "FALSE"}},  // writable, not readable
  };
  for (const Case& c : cases) {
    Shell(std::string("chmod ") + c.mode + " " + ShellQuote(root));
    Answer got = Ask({"PathToRep=" + root, "PathInRep=proj/a.txt"}, nullptr, nullptr,
                     [](const std::vector<std::string>& args) {
                       return testing_support::RunQamcvsUnprivileged(args);
                     });
    EXPECT_EQ(got.repositoryExists, c.expected.repositoryExists) << c.mode;
    EXPECT_EQ(got.pathExists, c.expected.pathExists) << c.mode;
  }
}

}  // namespace
