// Child enumeration (id 5) and the administrative file table, on a real
// repository made with cvs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "QamCVSAdminFileTable.h"
#include "support/cvs_fixture.h"
#include "support/test_support.h"

using testing_support::CvsFixture;
using testing_support::ParseXml;
using testing_support::RunResult;
using testing_support::Shell;
using testing_support::ShellQuote;

namespace {

struct Listing {
  std::string success;
  // (name, IsFolder) in document order
  std::vector<std::pair<std::string, std::string>> children;
};

Listing Enumerate(const std::vector<std::string>& args, bool unprivileged = false) {
  std::vector<std::string> full{"5"};
  full.insert(full.end(), args.begin(), args.end());
  RunResult result = unprivileged ? testing_support::RunQamcvsUnprivileged(full)
                                  : testing_support::RunQamcvs(full);
  EXPECT_EQ(result.status, 1) << result.out;
  auto xml = ParseXml(result.out);
  EXPECT_TRUE(xml.wellFormed) << xml.error << "\n" << result.out;
  Listing listing;
  auto success = xml.TextsOf("Success");
  if (success.size() == 1) listing.success = success[0];
  auto names = xml.TextsOf("Child");
  auto flags = xml.AttributesOf("Child", "IsFolder");
  EXPECT_EQ(names.size(), flags.size());
  for (std::size_t i = 0; i < names.size() && i < flags.size(); ++i) {
    listing.children.emplace_back(names[i], flags[i]);
  }
  return listing;
}

using Children = std::vector<std::pair<std::string, std::string>>;

// proj holds imported archives whose names test the comma cut and the
// hidden names, a removed file (so an Attic/ folder), and entries cvs does
// not make but a repository can hold: a plain README, plain "x" and "v", a
// file ",v", sub-folders "a,v", "Emptydir" and "dup" (beside "dup,v").
class BinaryEnumChildrenTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    repo_ = new CvsFixture();
    repo_->Import("proj", {{"notes", "n\n"}, {"a,b", "ab\n"}, {"config", "c\n"},
                           {"history", "h\n"}, {"modules", "m\n"}, {"v", "v\n"},
                           {"val-tags", "t\n"}, {"x", "x\n"}, {"gone", "g\n"},
                           {"sub/inner.txt", "i\n"}, {"sub/config", "c\n"},
                           {"sub/checkoutlist", "c\n"}});
    const std::string copy = repo_->Checkout("proj");
    repo_->Cvs(copy, {"remove", "-f", "gone"});
    repo_->Commit(copy, {"gone"}, "remove files");
    const std::string proj = ShellQuote(repo_->Path("proj"));
    Shell("cd " + proj + " && echo r > README && echo x > x && echo v > v && echo c > ,v && " +
          "mkdir a,v Emptydir dup sub/Emptydir && cp notes,v dup,v");
  }
  static void TearDownTestSuite() {
    delete repo_;
    repo_ = nullptr;
  }
  static CvsFixture* repo_;
};

CvsFixture* BinaryEnumChildrenTest::repo_ = nullptr;

const Children kProjFolders = {
    {"Attic", "TRUE"}, {"a,v", "TRUE"}, {"dup", "TRUE"}, {"sub", "TRUE"}};

TEST_F(BinaryEnumChildrenTest, FoldersFirstThenFilesCutAtTheirFirstComma) {
  Children expected = kProjFolders;
  const Children files = {{"", "FALSE"},         {"README", "FALSE"},  {"a", "FALSE"},
                          {"dup", "FALSE"},      {"history", "FALSE"}, {"notes", "FALSE"},
                          {"v", "FALSE"},        {"val-tags", "FALSE"}, {"x", "FALSE"},
                          {"x", "FALSE"}};
  expected.insert(expected.end(), files.begin(), files.end());
  Listing got = Enumerate(
      {"PathToRep=" + repo_->root(), "PathInRep=proj", "Children_Type=DIRECTORY"});
  EXPECT_EQ(got.success, "TRUE");
  EXPECT_EQ(got.children, expected);
}

TEST_F(BinaryEnumChildrenTest, OnlyDirectoryListsFiles) {
  const std::string root = repo_->root();
  for (const std::vector<std::string>& extra :
       std::vector<std::vector<std::string>>{{}, {"Children_Type="}, {"Children_Type=directory"},
                                             {"Children_Type=FILES"},
                                             {"Children_Type=DIRECTORY "}}) {
    std::vector<std::string> args{"PathToRep=" + root, "PathInRep=proj"};
    args.insert(args.end(), extra.begin(), extra.end());
    Listing got = Enumerate(args);
    EXPECT_EQ(got.success, "TRUE");
    EXPECT_EQ(got.children, kProjFolders) << (extra.empty() ? "absent" : extra[0]);
  }
}

TEST_F(BinaryEnumChildrenTest, PathsAndOutcomes) {
  const std::string root = repo_->root();
  struct Case {
    std::string pathToRep;
    std::string pathInRep;
    std::string success;
    Children children;
  };
  const Children kSub = {{"inner.txt", "FALSE"}};  // config,v, checkoutlist,v, Emptydir hidden
  const std::vector<Case> cases = {
      {root, "proj/sub", "TRUE", kSub},
      {root + "/", "proj/sub", "TRUE", kSub},  // the root test sees the trimmed root
      {root + "//", "proj/sub/", "TRUE", kSub},
      {root, "proj/Attic", "TRUE", {{"gone", "FALSE"}}},
      {root, "CVSROOT/Emptydir", "TRUE", {}},  // an empty folder is still a success
      {root, "proj/nothere", "FALSE", {}},
      {root, "proj/notes,v", "FALSE", {}},  // a file is not a folder to read
      {root + "/nothere", "", "FALSE", {}},
      // A regular file as root passes the root test; the read below fails.
      {repo_->Path("proj/README"), "", "FALSE", {}},
  };
  for (const Case& c : cases) {
    Listing got = Enumerate(
        {"PathToRep=" + c.pathToRep, "PathInRep=" + c.pathInRep, "Children_Type=DIRECTORY"});
    EXPECT_EQ(got.success, c.success) << c.pathToRep << " | " << c.pathInRep;
    EXPECT_EQ(got.children, c.children) << c.pathToRep << " | " << c.pathInRep;
  }
}

TEST_F(BinaryEnumChildrenTest, RootListsCvsrootAndAdministrativeNamesStayHidden) {
  Listing top = Enumerate({"PathToRep=" + repo_->root(), "Children_Type=DIRECTORY"});
  EXPECT_EQ(top.success, "TRUE");
  EXPECT_EQ(top.children, (Children{{"CVSROOT", "TRUE"}, {"proj", "TRUE"}}));

  // cvs 1.12 writes administrative files the table does not know (postadmin
  // and friends); those are reported, the known ones never.
  Listing admin = Enumerate(
      {"PathToRep=" + repo_->root(), "PathInRep=CVSROOT", "Children_Type=DIRECTORY"});
  EXPECT_EQ(admin.success, "TRUE");
  std::vector<std::string> names;
  for (const auto& child : admin.children) names.push_back(child.first);
  for (const char* hidden : {"Emptydir", "config", "modules", "history", "val-tags",
                             "checkoutlist", ".#config", "loginfo", "verifymsg"}) {
    EXPECT_EQ(std::count(names.begin(), names.end(), hidden), 0) << hidden;
  }
  EXPECT_EQ(std::count(names.begin(), names.end(), "postadmin"), 2);  // plain and ,v
}

// Names close to the hidden ones are listed: the table matches whole names,
// in their case, with or without ",v" as each is kept.
TEST(AdminFileTableTest, NearNamesAreNotHidden) {
  const QamCVSAdminFileTable table;
  const char* const kListed[] = {"",         "CVSROOT",    "configs",   "history.txt",
                                 "history,v", "val-tags,v", ",v",        ".#history",
                                 "Config",    "EMPTYDIR",   "V",         "config,",
                                 " config",   "Emptydir/",  "postadmin", "vv"};
  for (const char* name : kListed) EXPECT_FALSE(table.Contains(I18NString(name))) << name;
}

// Root may read everything, so these run as an unprivileged user.
using BinaryEnumChildrenPermissionTest = testing_support::UnprivilegedTest;

TEST_F(BinaryEnumChildrenPermissionTest, UnreadableFolderAndReadOnlyRoot) {
  CvsFixture repo;
  repo.Import("proj", {{"a.txt", "a\n"}, {"sub/b.txt", "b\n"}});
  repo.GiveToNobody();
  const std::string root = repo.root();
  const std::vector<std::string> listProj{"PathToRep=" + root, "PathInRep=proj"};

  Listing readable = Enumerate(listProj, true);
  EXPECT_EQ(readable.success, "TRUE");
  EXPECT_EQ(readable.children, (Children{{"sub", "TRUE"}}));

  Shell("chmod 0300 " + ShellQuote(repo.Path("proj")));
  Listing unreadable = Enumerate(listProj, true);
  EXPECT_EQ(unreadable.success, "FALSE");
  EXPECT_TRUE(unreadable.children.empty());
  Shell("chmod 0755 " + ShellQuote(repo.Path("proj")));

  Shell("chmod 0555 " + ShellQuote(root));  // readable, not writable
  Listing readOnlyRoot = Enumerate(listProj, true);
  EXPECT_EQ(readOnlyRoot.success, "FALSE");
  EXPECT_TRUE(readOnlyRoot.children.empty());
}

}  // namespace
