// The driver's outcome table, on the real binary.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

using testing_support::ParseXml;
using testing_support::RunQamcvs;

TEST(DriverTest, IdsWithoutCommandPrintNothingAndExitZero) {
  for (const char* id : {"2", "6", "0", "-1", "10", "+2", "2147483647", "-2147483648"}) {
    auto result = RunQamcvs({id});
    EXPECT_EQ(result.status, 0) << id;
    EXPECT_EQ(result.out, "") << id;
  }
}

TEST(DriverTest, RejectedCommandLinePrintsFailureDocument) {
  auto result = RunQamcvs({"abc"});
  EXPECT_EQ(result.status, 0);
  auto xml = ParseXml(result.out);
  ASSERT_TRUE(xml.wellFormed) << xml.error << "\n" << result.out;
  EXPECT_EQ(xml.rootName, "QAM_DOC");
  EXPECT_EQ(xml.TextsOf("Code"), std::vector<std::string>{"0x56177B77"});
  ASSERT_EQ(xml.TextsOf("Message").size(), 1u);
  EXPECT_NE(xml.TextsOf("Message")[0].find("\"abc\""), std::string::npos);
  EXPECT_EQ(result.out.back(), '\n');
}

TEST(DriverTest, EveryRejectedCommandLineIsOneFailureDocumentWithStatusZero) {
  using Args = std::vector<std::string>;
  struct Case {
    Args args;
    std::string mustMention;
  } cases[] = {
      {{}, "No command id"},
      {{""}, "\"\""},
      {{"4x"}, "\"4x\""},
      {{" 4"}, "\" 4\""},
      {{"99999999999"}, "\"99999999999\""},
      {{"1", "PathToRep"}, "NAME=VALUE"},
      {{"1", "=x"}, "no parameter name"},
      {{"1", "Nope=x"}, "\"Nope\" is not known"},
      {{"1", "PathToRep=/a", "PathToRep=/b"}, "given twice"},
      {{"--help", "x"}, "--help"},
      {{"1", "Bad<&]]>\x01\xFF"}, "\"Bad<&]]>\xEF\xBF\xBD\xEF\xBF\xBD\""},
  };
  for (const Case& c : cases) {
    std::string shown = testing::PrintToString(c.args);
    auto result = RunQamcvs(c.args);
    EXPECT_EQ(result.status, 0) << shown;
    auto xml = ParseXml(result.out);
    ASSERT_TRUE(xml.wellFormed) << shown << ": " << xml.error << "\n" << result.out;
    EXPECT_EQ(xml.TextsOf("Error").size(), 1u) << shown;
    EXPECT_EQ(xml.TextsOf("Code"), std::vector<std::string>{"0x56177B77"}) << shown;
    ASSERT_EQ(xml.TextsOf("Message").size(), 1u) << shown;
    EXPECT_NE(xml.TextsOf("Message")[0].find(c.mustMention), std::string::npos)
        << shown << ": " << xml.TextsOf("Message")[0];
    EXPECT_EQ(xml.TextsOf("Function"),
              std::vector<std::string>{"QamCmdLineArg::ProcessCmdParams"});
    // Exactly one document and one line feed.
    EXPECT_EQ(result.out.find("<?xml"), result.out.rfind("<?xml")) << shown;
    EXPECT_EQ(result.out.find('\n'), result.out.size() - 1) << shown;
  }
}

TEST(DriverTest, HelpAndVersionPrintTextAndExitZero) {
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
TEST(DriverTest, OutputIsFlushedToPipesAndFilesOnEveryPath) {
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
TEST(DriverTest, UnwritableStandardOutputExitsZero) {
  testing_support::TempDir temp;
  for (std::string args : {"8 PathToRep=" + temp.path(), std::string("abc")}) {
    auto shell = testing_support::Shell(
        testing_support::QamcvsShellCommand() + " " + args + " >/dev/full 2>/dev/null; echo $?", false);
    EXPECT_EQ(shell.out, "0\n") << args;
  }
}

// Source and Function name the raise itself: the line Source points at holds
// the raise, and Function is the function around it, whichever layer raised.
TEST(DriverTest, FailureDocumentsNameThePlaceOfTheRaise) {
  testing_support::TempDir temp;
  testing_support::WriteFile(temp / "log", "neither word\n");
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
                line.find(".Raise(") != std::string::npos)
        << shown << ": " << source << " is \"" << line << "\"";
    places.push_back(source);
  }
  // Two capture failures raised in different places name different lines.
  EXPECT_NE(places[3], places[4]);
}
