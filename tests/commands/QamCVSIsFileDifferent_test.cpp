// File difference on real diff, cmp and cvs output.
#include "QamCVSIsFileDifferent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "PYLException.h"
#include "support/cvs_fixture.h"
#include "support/test_support.h"

using testing_support::ParseXml;
using testing_support::RunQamcvs;
using testing_support::Shell;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// Runs the command in this process: "TRUE", "FALSE", or "raised <code>".
std::string Judge(const std::string& text) {
  const testing_support::CommandRun run =
      testing_support::RunCommandOnText<QamCVSIsFileDifferent>(text);
  if (run.raised) return "raised " + testing_support::ExpectFailureDocument(run.document, "").code;
  auto values = ParseXml(run.document).TextsOf("IsDifferent");
  return values.size() == 1 ? values[0] : "bad document";
}

const std::string kRaised = std::string("raised ") + testing_support::kInputErrorCode;

// Two equal files and a third that differs, compared by the real tools.
class ComparisonOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    Shell("cd " + dir_.path() + " && printf 'one\\ntwo\\n' > a && cp a same &&" +
          " printf 'one\\n2\\n' > b");
  }
  std::string Run(const std::string& command) {
    return Shell("cd " + dir_.path() + " && " + command, false).out;
  }
  TempDir dir_;
};

TEST_F(ComparisonOutput, RealToolOutputAndItsCrLfCopy) {
  struct Case {
    const char* command;
    const char* expected;
  } cases[] = {
      {"diff --brief --report-identical-files a same", "FALSE"},
      {"diff --brief --report-identical-files a b", "TRUE"},
      {"diff -s a same", "FALSE"},
      {"cmp a b", "TRUE"},    // "a b differ: byte 5, line 2"
      {"cmp a same", "FALSE"},  // prints nothing
      {"diff a same", "FALSE"},  // prints nothing
  };
  for (const Case& c : cases) {
    const std::string text = Run(c.command);
    EXPECT_EQ(Judge(text), c.expected) << c.command << "\n" << text;
    EXPECT_EQ(Judge(testing_support::WithCrLf(text)), c.expected) << c.command << " (CR LF)";
  }
}

TEST(ComparisonText, WordsDecideInOrder) {
  struct Case {
    const char* text;
    std::string expected;
  } cases[] = {
      {"", "FALSE"},
      {"Files a and b are identical\n", "FALSE"},
      {"Files a and b differ\n", "TRUE"},
      {"identical, yet they differ", "FALSE"},  // "identical" wins in either order
      {"they differ, yet identical", "FALSE"},
      {"the revisions are different", "TRUE"},  // a longer word counts
      {"Binary files a and b differs", "TRUE"},
      {" \n\r\n\t", kRaised},  // not empty, and neither word
      {"IDENTICAL", kRaised},   // the words are matched as written
      {"Differ", kRaised},
      {"identica l", kRaised},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Judge(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST_F(ComparisonOutput, BinaryEndToEndAndTheFailureDocument) {
  const std::string differ = Run("diff --brief --report-identical-files a b");
  auto piped = RunQamcvs({"9", "OutputFile=-"}, differ);
  EXPECT_EQ(piped.status, 1) << piped.err;
  EXPECT_EQ(ParseXml(piped.out).TextsOf("IsDifferent"), std::vector<std::string>{"TRUE"});

  WriteFile(dir_ / "same.txt", Run("diff --brief --report-identical-files a same"));
  auto fromFile = RunQamcvs({"9", "OutputFile=" + (dir_ / "same.txt")});
  EXPECT_EQ(fromFile.status, 1) << fromFile.err;
  EXPECT_EQ(ParseXml(fromFile.out).TextsOf("IsDifferent"), std::vector<std::string>{"FALSE"});

  // A real error of cvs: a revision that the file does not have.
  testing_support::CvsFixture cvs;
  cvs.Import("mod", {{"file.txt", "one\ntwo\n"}});
  const testing_support::RunResult diff =
      cvs.Cvs(cvs.Checkout("mod"), {"diff", "-r1.9", "file.txt"}, "alice", false);
  const std::string cvsError = diff.out + diff.err;
  ASSERT_FALSE(cvsError.empty());
  ASSERT_EQ(cvsError.find("identical"), std::string::npos) << cvsError;
  ASSERT_EQ(cvsError.find("differ"), std::string::npos) << cvsError;
  auto failed = RunQamcvs({"9", "OutputFile=-"}, cvsError);
  EXPECT_EQ(failed.status, 0);
  const auto failure = testing_support::ExpectFailureDocument(failed.out);
  EXPECT_EQ(failure.xml.TextsOf("IsDifferent").size(), 0u);
  EXPECT_EQ(failure.function, "QamCVSIsFileDifferent::ProceesOutPut");
  EXPECT_EQ(failure.source.rfind("QamCVSIsFileDifferent.cpp:", 0), 0u);
  const std::string message = failure.message;
  EXPECT_NE(message.find("neither \"identical\" nor \"differ\""), std::string::npos) << message;
  // The tool's own words are quoted, so a person sees what went wrong.
  const std::string firstLine = cvsError.substr(0, std::min<std::size_t>(40, cvsError.find('\n')));
  EXPECT_NE(message.find(firstLine), std::string::npos) << message;

  // A long message is quoted only in part.
  auto longError = RunQamcvs({"9", "OutputFile=-"}, std::string(100000, 'x'));
  EXPECT_EQ(longError.status, 0);
  EXPECT_LT(testing_support::ExpectFailureDocument(longError.out).message.size(), 400u);
}

}  // namespace
