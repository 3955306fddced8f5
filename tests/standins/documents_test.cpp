// Documents: every value the base classes render parses back, with an XML
// parser, to the value it came from; a character XML cannot carry reads back
// as U+FFFD.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "QamCommandBases.h"
#include "QamFormatter.h"
#include "QamUtil.h"
#include "support/result_setters.h"
#include "support/test_support.h"
#include "xml_platform.h"

namespace {

using testing_support::ParseXml;
using testing_support::TempDir;
using testing_support::WriteFile;

struct Hostile {
  const char* name;
  I18NString value;
  std::string readBack;  // UTF-8 as an XML parser gives it back
};

const std::string kFffd = "\xEF\xBF\xBD";

std::vector<Hostile> HostileValues() {
  const char16_t loneLead[] = {u'x', 0xD800, u'y', 0};
  const char16_t loneTrail[] = {0xDC00, 0};
  const char16_t nonCharacters[] = {0xFFFE, 0xFFFF, 0xFFFD, 0};
  return {
      {"empty", I18NString(), ""},
      {"markup", I18NString("a & b < c > d \" e ' f"), "a & b < c > d \" e ' f"},
      {"cdata end", I18NString("x]]>y]]>"), "x]]>y]]>"},
      {"entity look-alikes", I18NString("&amp; &lt; &#x41; &#0;"), "&amp; &lt; &#x41; &#0;"},
      {"tags", I18NString("</Comment><Record>"), "</Comment><Record>"},
      {"controls",
       I18NString::FromUtf8("a\x01\x08\x0B\x0C\x1B\x1F"
                            "b"),
       "a" + kFffd + kFffd + kFffd + kFffd + kFffd + kFffd + "b"},
      {"nul", I18NString::FromUtf8(std::string("a\0b", 3)), "a" + kFffd + "b"},
      {"allowed white space", I18NString("\ta\n b\t"), "\ta\n b\t"},
      {"carriage returns", I18NString("a\rb\r\nc\r"), "a\rb\r\nc\r"},
      {"DEL and C1", I18NString::FromUtf8("\x7F\xC2\x85\xC2\x9F"), "\x7F\xC2\x85\xC2\x9F"},
      {"invalid UTF-8", I18NString::FromUtf8("a\xFF\xC3(b"), "a" + kFffd + kFffd + "(b"},
      {"lone lead surrogate", I18NString(loneLead), "x" + kFffd + "y"},
      {"lone trail surrogate", I18NString(loneTrail), kFffd},
      {"non-characters", I18NString(nonCharacters), kFffd + kFffd + kFffd},
      {"non-ASCII", I18NString::FromUtf8("caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80"),
       "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80"},
      {"last plane", I18NString::FromUtf8("\xF4\x8F\xBF\xBD"), "\xF4\x8F\xBF\xBD"},
      {"long", I18NString(std::string(100000, '<').c_str()), std::string(100000, '<')},
  };
}

using TestEnumChildren = testing_support::SettableEnumChildren;
using TestHistory = testing_support::SettableHistory;
using TestCheckedOut = testing_support::SettableCheckedOut;

// Command documents, written by Xerces' XMLFormatter.
class DocumentsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(temp_ / "empty.txt", "");
    params_.SetValue("PathToRep", I18NString("/repository"));
    params_.SetValue("OutputFile", I18NString((temp_ / "empty.txt").c_str()));
  }

  TempDir temp_;
  QamInputParams params_;
};

// The failure document both ways: through Xerces when the program's XML
// platform is up, built by hand when it is not.
class FailureDocumentTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      std::string why;
      ASSERT_TRUE(xml_platform::Start(&why)) << why;
    }
  }
  void TearDown() override {
    if (GetParam()) xml_platform::Stop();
  }
};

TEST_F(DocumentsTest, ChildNamesReadBack) {
  TestEnumChildren command(params_);
  command.SetSuccess(true);
  std::vector<Hostile> values = HostileValues();
  for (std::size_t i = 0; i < values.size(); ++i) command.Add(values[i].value, i % 2 == 0);
  std::string document(command.ConverToQamFormat().utf8());
  auto xml = ParseXml(document);
  ASSERT_TRUE(xml.wellFormed) << xml.error << "\n" << document.substr(0, 2000);
  EXPECT_EQ(xml.rootName, "QAM_DOC");
  EXPECT_EQ(xml.TextsOf("Success"), std::vector<std::string>{"TRUE"});
  auto names = xml.TextsOf("Child");
  auto folders = xml.AttributesOf("Child", "IsFolder");
  ASSERT_EQ(names.size(), values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(names[i], values[i].readBack) << values[i].name;
    EXPECT_EQ(folders[i], i % 2 == 0 ? "TRUE" : "FALSE") << values[i].name;
  }
}

TEST_F(DocumentsTest, HistoryRecordsReadBackWithCommentsEscapedOnce) {
  TestHistory command(params_);
  std::vector<Hostile> values = HostileValues();
  for (const Hostile& value : values) {
    command.Add(value.value, value.value + "1", I18NString("2024/01/02 ") + value.value,
                value.value);
  }
  std::string document(command.ConverToQamFormat().utf8());
  auto xml = ParseXml(document);
  ASSERT_TRUE(xml.wellFormed) << xml.error << "\n" << document.substr(0, 2000);
  auto authors = xml.TextsOf("Author");
  auto revisions = xml.TextsOf("Revision");
  auto dates = xml.TextsOf("DateTime");
  auto comments = xml.TextsOf("Comment");
  ASSERT_EQ(xml.TextsOf("Record").size(), values.size());
  ASSERT_EQ(comments.size(), values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(authors[i], values[i].readBack) << values[i].name;
    EXPECT_EQ(revisions[i], values[i].readBack + "1") << values[i].name;
    EXPECT_EQ(dates[i], "2024/01/02 " + values[i].readBack) << values[i].name;
    EXPECT_EQ(comments[i], values[i].readBack) << values[i].name;
  }
}

TEST_F(DocumentsTest, CheckedOutByAndBooleansReadBack) {
  for (const Hostile& value : HostileValues()) {
    TestCheckedOut command(params_);
    command.Set(!value.readBack.empty(), value.value);
    std::string document(command.ConverToQamFormat().utf8());
    EXPECT_EQ(document.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?><QAM_DOC><Output>", 0), 0u)
        << document.substr(0, 200);
    auto xml = ParseXml(document);
    ASSERT_TRUE(xml.wellFormed) << value.name << ": " << xml.error;
    EXPECT_EQ(xml.TextsOf("CheckedOutBy"), std::vector<std::string>{value.readBack}) << value.name;
    EXPECT_EQ(xml.TextsOf("IsCheckedOut"),
              std::vector<std::string>{value.readBack.empty() ? "FALSE" : "TRUE"});
  }
}

TEST_P(FailureDocumentTest, ReadsBackAHostileMessage) {
  for (const Hostile& value : HostileValues()) {
    std::string document;
    try {
      QamRaise(0x1234ABCD, value.value, SourceLocation("/some/dir/file<&>.cpp", 42), "Func<&>]]>");
    } catch (...) {
      document = std::string(QamFormatterUtility::GetExceptionThrownDoc().utf8());
    }
    SCOPED_TRACE(value.name);
    const auto failure = testing_support::ExpectFailureDocument(document, "0x1234ABCD");
    // An empty message takes the generic text of its number.
    if (!value.readBack.empty()) {
      EXPECT_EQ(failure.message, value.readBack);
    }
    EXPECT_EQ(failure.source, "file<&>.cpp:42");
    EXPECT_EQ(failure.function, "Func<&>]]>");
  }
}

TEST_P(FailureDocumentTest, ForForeignExceptions) {
  struct Case {
    std::function<void()> raise;
    std::string message;
  } cases[] = {
      {[] { throw std::runtime_error("bad <thing> & \x01"); },
       "The command failed: bad <thing> & " + kFffd},
      {[] { throw std::bad_alloc(); }, "Not enough memory to complete the command."},
      {[] { throw 42; }, "The command failed for an unknown reason."},
  };
  for (const Case& c : cases) {
    std::string document;
    try {
      c.raise();
    } catch (...) {
      document = std::string(QamFormatterUtility::GetExceptionThrownDoc().utf8());
    }
    const auto failure = testing_support::ExpectFailureDocument(document, "0x00000000");
    EXPECT_EQ(failure.message, c.message);
    EXPECT_EQ(failure.source, "");
    EXPECT_EQ(failure.function, "");
  }
}

INSTANTIATE_TEST_SUITE_P(Writers, FailureDocumentTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return param.param ? "Xerces" : "ByHand";
                         });

TEST(EscapeDOMCharsTest, EscapesTheFiveMarkupCharactersOnce) {
  struct Case {
    const char* text;
    const char* escaped;
  } cases[] = {
      {"", ""},
      {"plain \xC3\xA9", "plain \xC3\xA9"},
      {"<a href='x'>&\"</a>", "&lt;a href=&apos;x&apos;&gt;&amp;&quot;&lt;/a&gt;"},
      {"&amp;", "&amp;amp;"},
      {"sixteen bytes ok then & and <<<<<<<<<<<<<<<<", "sixteen bytes ok then &amp; and "
                                                      "&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;"},
  };
  for (const Case& c : cases) {
    I18NString text = I18NString::FromUtf8(c.text);
    QamFormatterUtility::EscapeDOMChars(text);
    EXPECT_EQ(std::string(text.utf8()), c.escaped) << c.text;
  }
}

}  // namespace
