// Folder creation (id 7) on a real repository made with cvs.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/cvs_fixture.h"
#include "support/test_support.h"

using testing_support::CvsFixture;
using testing_support::ParseXml;
using testing_support::RunResult;
using testing_support::Shell;
using testing_support::ShellQuote;
using testing_support::WithBackSlashes;
using testing_support::kInvalidPathReason;

namespace {

const char kCreated[] = "The operation succeded";
const char kExists[] = "A folder by that name already exists.";

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string Body(const std::string& created, const std::string& reason) {
  return std::string(testing_support::kXmlDeclaration) + "<QAM_DOC><Output><Created>" + created +
         "</Created><Reason>" + reason + "</Reason></Output></QAM_DOC>\n";
}

// Every entry below root, to prove that a refused run made nothing anywhere.
std::vector<std::string> Tree(const std::string& root) {
  std::vector<std::string> entries;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    entries.push_back(entry.path().string());
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

class BinaryCreateFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    repo_.Import("proj", {{"notes.txt", "n\n"}, {"sub/inner.txt", "i\n"}});
  }
  RunResult Create(const std::string& pathToRep, const std::string& pathInRep,
                   const std::string& folderName) {
    return testing_support::RunQamcvs(
        {"7", "PathToRep=" + pathToRep, "PathInRep=" + pathInRep, "FolderName=" + folderName});
  }
  CvsFixture repo_;
};

TEST_F(BinaryCreateFolderTest, OutcomesOnDisk) {
  const std::string root = repo_.root();
  // A missing parent is error 2 (ENOENT) on Linux, which leaves the reason
  // empty; Windows reports it as ERROR_PATH_NOT_FOUND (3), any other error.
  const std::string missingParent =
      testing_support::TestingWindowsBuild() ? kInvalidPathReason : "";
  struct Case {
    std::string pathToRep, pathInRep, folderName;
    std::string created, reason;
    std::string madePath;  // "" when nothing may be made
  };
  const std::vector<Case> cases = {
      {root, "proj", "new", "TRUE", kCreated, "proj/new"},
      {root + "/", "proj/", "slashed/", "TRUE", kCreated, "proj/slashed"},
      {WithBackSlashes(root), "proj\\sub", "back\\", "TRUE", kCreated, "proj/sub/back"},
      {root, "proj/sub", "a\\b", "FALSE", missingParent, ""},  // a/b: parent a is missing
      // A name, not a step up; Windows programs drop trailing dots, so no
      // folder is made there that they could not open.
      testing_support::TestingWindowsBuild()
          ? Case{root, "proj", "...", "FALSE", kInvalidPathReason, ""}
          : Case{root, "proj", "...", "TRUE", kCreated, "proj/..."},
      // An absolute name still lands below the repository: proj//abs.
      {root, "proj", "/abs", "TRUE", kCreated, "proj/abs"},
      {root, "proj", "sub", "FALSE", kExists, ""},
      {root, "proj", "notes.txt,v", "FALSE", kExists, ""},  // a file counts too
      {root, "proj/nothere", "new", "FALSE", missingParent, ""},
      {root + "/nothere", "proj", "new", "FALSE", missingParent, ""},
      {root, "proj/notes.txt,v", "new", "FALSE", kInvalidPathReason, ""},  // ENOTDIR
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pathToRep + " | " + c.pathInRep + " | " + c.folderName);
    RunResult result = Create(c.pathToRep, c.pathInRep, c.folderName);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, Body(c.created, c.reason));
    auto xml = ParseXml(result.out);
    EXPECT_TRUE(xml.wellFormed) << xml.error;
    if (!c.madePath.empty()) {
      EXPECT_TRUE(IsFolder(repo_.Path(c.madePath)));
    }
  }
}

TEST_F(BinaryCreateFolderTest, ParentStepsAreRefusedAndNothingIsMade) {
  const std::string root = repo_.root();
  struct Case {
    std::string pathInRep, folderName;
  };
  const std::vector<Case> cases = {
      {"proj", "../escape"},        {"proj", "..\\escape"},   {"proj", "sub/../../escape"},
      {"..", "escape"},             {"proj/..", "escape"},    {"proj\\..\\..", "escape"},
      {"proj/sub/../..", "escape"}, {"proj", ".."},           {"proj", "../../escape/"},
      {"../repo/proj", "inside"},   {"proj/sub/..\\", "escape"},
  };
  const std::vector<std::string> before = Tree(repo_.Scratch(""));
  for (const Case& c : cases) {
    RunResult result = Create(root, c.pathInRep, c.folderName);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, Body("FALSE", kInvalidPathReason))
        << c.pathInRep << " | " << c.folderName;
  }
  EXPECT_EQ(Tree(repo_.Scratch("")), before);
}

TEST_F(BinaryCreateFolderTest, MissingParameterRaisesAndMakesNothing) {
  const std::string root = repo_.root();
  const std::vector<std::string> all{"PathToRep=" + root, "PathInRep=proj", "FolderName=new"};
  const char* const names[] = {"PathToRep", "PathInRep", "FolderName"};
  const std::vector<std::string> before = Tree(root);
  for (int missing = 0; missing < 3; ++missing) {
    for (bool emptyValue : {false, true}) {
      std::vector<std::string> args{"7"};
      for (int i = 0; i < 3; ++i) {
        if (i != missing) {
          args.push_back(all[i]);
        } else if (emptyValue) {
          args.push_back(std::string(names[i]) + "=");
        }
      }
      RunResult result = testing_support::RunQamcvs(args);
      SCOPED_TRACE(std::string(names[missing]) + (emptyValue ? " empty" : " absent"));
      EXPECT_EQ(result.status, 0);
      const auto failure = testing_support::ExpectFailureDocument(result.out);
      EXPECT_EQ(failure.function, "QamCVSCreateFolder::QamCVSCreateFolder");
      EXPECT_EQ(failure.source.rfind("QamCVSCreateFolder.cpp:", 0), 0u);
      EXPECT_NE(failure.message.find(std::string("empty: ") + names[missing]), std::string::npos)
          << failure.message;
    }
  }
  EXPECT_EQ(Tree(root), before);
}

// Root may write everywhere, so these run as an unprivileged user.
using BinaryCreateFolderPermissionTest = testing_support::UnprivilegedTest;

TEST_F(BinaryCreateFolderPermissionTest, ReadOnlyFolderGivesTheInvalidReason) {
  CvsFixture repo;
  repo.Import("proj", {{"a.txt", "a\n"}, {"locked/b.txt", "b\n"}});
  repo.GiveToNobody();
  Shell("chmod 0555 " + ShellQuote(repo.Path("proj/locked")));
  auto create = [&repo](const std::string& pathInRep) {
    return testing_support::RunQamcvsUnprivileged(
        {"7", "PathToRep=" + repo.root(), "PathInRep=" + pathInRep, "FolderName=new"});
  };
  RunResult allowed = create("proj");
  EXPECT_EQ(allowed.status, 1);
  EXPECT_EQ(allowed.out, Body("TRUE", kCreated));
  RunResult denied = create("proj/locked");  // EACCES
  EXPECT_EQ(denied.status, 1);
  EXPECT_EQ(denied.out, Body("FALSE", kInvalidPathReason));
  EXPECT_FALSE(IsFolder(repo.Path("proj/locked/new")));
}

}  // namespace
