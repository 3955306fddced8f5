// The command-line parser in process: what it accepts, what it rejects, and
// that a rejection names the offending argument in a readable failure document.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "QamFormatter.h"
#include "QamUtil.h"
#include "support/test_support.h"
#include "xml_platform.h"

namespace {

using testing_support::ParseXml;

struct Parsed {
  bool rejected = false;
  std::string message;
  std::string documentMessage;  // the failure document's, read back
  std::string function;
  long code = 0;
  _CmdId id = -12345;
  QamInputParams params;
};

Parsed Parse(std::vector<std::string> args) {
  std::vector<char*> argv;
  std::string program = "qamcvs";
  argv.push_back(program.data());
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  Parsed parsed;
  QamCmdLineArg parser;
  testing::internal::CaptureStderr();
  try {
    parser.ProcessCmdParams(static_cast<int>(argv.size()) - 1, argv.data());
  } catch (const PYLException& error) {
    parsed.rejected = true;
    parsed.message = std::string(error.message().utf8());
    parsed.function = error.function();
    parsed.code = error.code();
    const std::vector<std::string> messages =
        ParseXml(std::string(QamFormatterUtility::GetExceptionThrownDoc().utf8())).TextsOf("Message");
    if (messages.size() == 1) parsed.documentMessage = messages[0];
  }
  testing::internal::GetCapturedStderr();
  parsed.id = parser.GetCommandID();
  parsed.params = parser.GetInputParams();
  return parsed;
}

TEST(QamCmdLineArgTest, AcceptedCommandLines) {
  struct Case {
    std::vector<std::string> args;
    _CmdId id;
    std::map<std::string, std::string> values;
  } cases[] = {
      {{"4"}, 4, {}},
      {{"+4"}, 4, {}},
      {{"-1"}, -1, {}},
      {{"0007"}, 7, {}},
      {{"-0"}, 0, {}},
      {{"2147483647"}, 2147483647, {}},
      {{"-2147483648"}, -2147483647 - 1, {}},
      {{"1", "PathToRep=/r", "PathInRep=a/b"}, 1, {{"PathToRep", "/r"}, {"PathInRep", "a/b"}}},
      // Only the first "=" separates; the value keeps the rest.
      {{"1", "PathToRep=/r=x==", "PathInRep=="}, 1, {{"PathToRep", "/r=x=="}, {"PathInRep", "="}}},
      // An empty value is given but empty; the commands treat it as absent.
      {{"1", "PathInRep="}, 1, {{"PathInRep", ""}}},
      {{"4", "OutputFile=-", "Encoding=ISO-8859-1"},
       4,
       {{"OutputFile", "-"}, {"Encoding", "ISO-8859-1"}}},
      {{"7", "FolderName=\xE6\x97\xA5 \xF0\x9F\x98\x80"},
       7,
       {{"FolderName", "\xE6\x97\xA5 \xF0\x9F\x98\x80"}}},
      {{"5", "Children_Type=DIRECTORY", "PathToRep= spaced "},
       5,
       {{"Children_Type", "DIRECTORY"}, {"PathToRep", " spaced "}}},
  };
  for (const Case& c : cases) {
    std::string shown = testing::PrintToString(c.args);
    Parsed parsed = Parse(c.args);
    ASSERT_FALSE(parsed.rejected) << shown << ": " << parsed.message;
    EXPECT_EQ(parsed.id, c.id) << shown;
    for (const auto& [name, value] : c.values) {
      EXPECT_TRUE(parsed.params.IsGiven(name)) << shown << " " << name;
      EXPECT_EQ(std::string(parsed.params.GetValueOf(I18NString(name.c_str())).utf8()), value)
          << shown << " " << name;
    }
    for (const char* other :
         {"PathToRep", "PathInRep", "FolderName", "Children_Type", "OutputFile", "Encoding"}) {
      if (c.values.count(other) == 0) {
        EXPECT_FALSE(parsed.params.IsGiven(other)) << shown;
      }
    }
  }
}

TEST(QamCmdLineArgTest, RejectedCommandLinesNameTheProblem) {
  for (const auto& c : testing_support::RefusedCommandLines()) {
    std::string shown = testing::PrintToString(c.args).substr(0, 80);
    Parsed parsed = Parse(c.args);
    ASSERT_TRUE(parsed.rejected) << shown;
    EXPECT_NE(parsed.documentMessage.find(c.mustMention), std::string::npos)
        << shown << ": " << parsed.documentMessage;
    EXPECT_EQ(parsed.code, static_cast<long>(kQamInputError)) << shown;
    EXPECT_EQ(parsed.function, "QamCmdLineArg::ProcessCmdParams") << shown;
    EXPECT_LT(parsed.message.size(), 1000u) << shown << ": the argument is shown in full";
    EXPECT_EQ(parsed.id, 0) << shown << ": a rejected line must not leave a command id";
  }
}

TEST(QamCmdLineArgTest, HelpAndVersionPrintAndLeaveNoCommand) {
  for (const char* option : {"--help", "--version"}) {
    testing::internal::CaptureStdout();
    Parsed parsed = Parse({option});
    std::fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(parsed.rejected) << option;
    EXPECT_EQ(parsed.id, 0) << option;
    EXPECT_EQ(out.rfind(std::string(option) == "--help" ? "Usage: qamcvs" : "qamcvs ", 0), 0u)
        << option << ": " << out;
  }
}

TEST(QamCmdLineArgTest, ArgumentsAreReadAsUtf8WithReplacement) {
  Parsed parsed = Parse({"1", "PathToRep=/r\xFF\xC3", "PathInRep=caf\xC3\xA9"});
  ASSERT_FALSE(parsed.rejected) << parsed.message;
  EXPECT_EQ(std::string(parsed.params.GetValueOf("PathToRep").utf8()),
            "/r\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(parsed.params.GetValueOf("PathInRep").length(), 4);
}

// A rejection renders as a well-formed failure document that reads back the
// offending argument, however hostile it is, both from Xerces and from the
// document built by hand for when the XML platform is down.
TEST(QamCmdLineArgTest, RejectionRendersAsAReadableFailureDocument) {
  for (bool platformUp : {false, true}) {
    SCOPED_TRACE(platformUp ? "XML platform up" : "XML platform down");
    std::string why;
    if (platformUp) {
      ASSERT_TRUE(xml_platform::Start(&why)) << why;
    }
    const char* hostile[] = {"<&>]]>\"'",
                             "a\x01\x1F\x7F"
                             "b",
                             "\xFF\xFE", "a\rb\r\nc", "\xEF\xBF\xBE\xEF\xBF\xBF"};
    const char* expected[] = {"<&>]]>\"'",
                              "a\xEF\xBF\xBD\xEF\xBF\xBD\x7F"
                              "b",
                              "\xEF\xBF\xBD\xEF\xBF\xBD", "a\rb\r\nc", "\xEF\xBF\xBD\xEF\xBF\xBD"};
    for (std::size_t i = 0; i < sizeof hostile / sizeof hostile[0]; ++i) {
      std::vector<std::string> args{"1", std::string("Bad") + hostile[i]};
      std::vector<char*> argv{const_cast<char*>("qamcvs"), args[0].data(), args[1].data(), nullptr};
      std::string document;
      testing::internal::CaptureStderr();
      try {
        QamCmdLineArg parser;
        parser.ProcessCmdParams(3, argv.data());
      } catch (...) {
        document = std::string(QamFormatterUtility::GetExceptionThrownDoc().utf8());
      }
      testing::internal::GetCapturedStderr();
      SCOPED_TRACE(i);
      const auto failure = testing_support::ExpectFailureDocument(document);
      EXPECT_NE(failure.message.find(std::string("\"Bad") + expected[i] + "\""),
                std::string::npos)
          << failure.message;
      EXPECT_EQ(failure.function, "QamCmdLineArg::ProcessCmdParams");
      EXPECT_EQ(failure.source.rfind("QamCmdLineArg.cpp:", 0), 0u);
    }
    if (platformUp) xml_platform::Stop();
  }
}

}  // namespace
