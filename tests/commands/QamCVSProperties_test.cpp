// Properties on a real repository made by cvs.
#include "QamCVSProperties.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/cvs_fixture.h"
#include "support/test_support.h"

using testing_support::ParseXml;
using testing_support::RunQamcvs;

namespace {

// Runs the command in this process: the <IsFolder> value.
std::string IsFolder(const std::string& root, const std::string& inRepository) {
  QamInputParams params;
  params.SetValue("PathToRep", I18NString(root.c_str()));
  params.SetValue("PathInRep", I18NString(inRepository.c_str()));
  QamCVSProperties command(params);
  command.ProceesOutPut();
  auto values = ParseXml(std::string(command.ConverToQamFormat().utf8())).TextsOf("IsFolder");
  return values.size() == 1 ? values[0] : "bad document";
}

// Module "mod" with sub-folder "sub", file.txt and sub/deep.txt, imported by cvs.
class PropertiesRepo : public ::testing::Test {
 protected:
  void SetUp() override { cvs_.Import("mod", {{"file.txt", "a\n"}, {"sub/deep.txt", "b\n"}}); }
  testing_support::CvsFixture cvs_;
  const std::string repo_ = cvs_.root();
};

TEST_F(PropertiesRepo, FoldersFilesAndOddPaths) {
  // The root with its last separator written as a back-slash.
  std::string backSlashedRoot = repo_;
  backSlashedRoot[backSlashedRoot.rfind('/')] = '\\';
  struct Case {
    std::string root;
    std::string inRepository;
    const char* expected;
  } cases[] = {
      {repo_, "mod", "TRUE"},
      {repo_, "mod/sub", "TRUE"},
      {repo_, "CVSROOT", "TRUE"},
      {repo_, "mod/file.txt", "FALSE"},      // a versioned file: only its archive exists
      {repo_, "mod/file.txt,v", "FALSE"},    // the archive is a file
      {repo_, "mod/sub/deep.txt,v", "FALSE"},
      {repo_, "mod/missing", "FALSE"},
      {cvs_.Scratch("norepo"), "mod", "FALSE"},  // missing root
      {cvs_.Scratch("norepo"), "", "FALSE"},
      {repo_ + "/mod/file.txt,v", "", "FALSE"},  // a root that is a file
      {repo_, "", "TRUE"},                   // the root itself
      {repo_ + "/", "", "TRUE"},
      {repo_ + "/", "mod", "TRUE"},           // "//" before the item
      {repo_ + "//", "mod/sub", "TRUE"},
      {repo_, "/mod", "TRUE"},
      {repo_, "mod/sub/", "TRUE"},
      {repo_, "mod\\sub", "TRUE"},
      {repo_, "mod\\sub\\", "TRUE"},
      {repo_ + "\\", "mod", "TRUE"},
      {backSlashedRoot, "mod\\sub", "TRUE"},
      {repo_, "mod\\file.txt,v", "FALSE"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsFolder(c.root, c.inRepository), c.expected)
        << "PathToRep=" << c.root << " PathInRep=" << c.inRepository;
  }
}

TEST_F(PropertiesRepo, BinaryEndToEnd) {
  auto folder = RunQamcvs({"8", "PathToRep=" + repo_, "PathInRep=mod\\sub"});
  EXPECT_EQ(folder.status, 1) << folder.err;
  EXPECT_EQ(ParseXml(folder.out).TextsOf("IsFolder"), std::vector<std::string>{"TRUE"});

  auto file = RunQamcvs({"8", "PathToRep=" + repo_ + "/", "PathInRep=mod/file.txt,v"});
  EXPECT_EQ(file.status, 1) << file.err;
  EXPECT_EQ(ParseXml(file.out).TextsOf("IsFolder"), std::vector<std::string>{"FALSE"});

  auto rootOnly = RunQamcvs({"8", "PathToRep=" + repo_});
  EXPECT_EQ(rootOnly.status, 1) << rootOnly.err;
  EXPECT_EQ(ParseXml(rootOnly.out).TextsOf("IsFolder"), std::vector<std::string>{"TRUE"});

  // Without a root there is no question to answer: the failure document.
  auto noRoot = RunQamcvs({"8", "PathInRep=mod"});
  EXPECT_EQ(noRoot.status, 0);
  testing_support::ExpectFailureDocument(noRoot.out);
}

}  // namespace
