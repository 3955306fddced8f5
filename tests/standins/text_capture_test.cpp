// Capturing the tool's text named by OutputFile: files that cannot be read
// fail with the path and the reason; whatever bytes are read become valid
// text without U+0000.
#include "text_capture.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "PYLException.h"
#include "QamFormatter.h"
#include "standins/as_nobody.h"
#include "support/test_support.h"

namespace {

using testing_support::AsNobody;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kFffd = "\xEF\xBF\xBD";

struct Capture {
  bool raised = false;
  std::string message;
  std::string text;
};

Capture CaptureWith(const char* outputFile, const char* encoding = nullptr) {
  QamInputParams params;
  if (outputFile != nullptr) params.SetValue("OutputFile", I18NString::FromUtf8(outputFile));
  if (encoding != nullptr) params.SetValue("Encoding", I18NString(encoding));
  Capture capture;
  try {
    capture.text = std::string(CaptureToolText(params).utf8());
  } catch (const PYLException& error) {
    capture.raised = true;
    capture.message = std::string(error.message().utf8());
  }
  return capture;
}

TEST(TextCaptureTest, FilesThatCannotBeReadFailWithPathAndReason) {
  TempDir temp;
  std::string missing = temp / "missing.log";
  std::string folder = temp / "folder";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  struct Case {
    const char* outputFile;  // null: not given
    std::vector<std::string> mustMention;
  } cases[] = {
      {nullptr, {"OutputFile", "missing or empty"}},
      {"", {"OutputFile", "missing or empty"}},
      {missing.c_str(), {"\"" + missing + "\"", "No such file or directory"}},
      {folder.c_str(), {"\"" + folder + "\"", "Is a directory"}},
  };
  for (const Case& c : cases) {
    Capture capture = CaptureWith(c.outputFile);
    ASSERT_TRUE(capture.raised) << (c.outputFile ? c.outputFile : "(absent)");
    for (const std::string& part : c.mustMention) {
      EXPECT_NE(capture.message.find(part), std::string::npos) << capture.message;
    }
  }
}

TEST(TextCaptureTest, UnreadableFileFailsWithTheReason) {
  TempDir temp;
  std::string locked = temp / "locked.log";
  WriteFile(locked, "text");
  ASSERT_EQ(chmod(locked.c_str(), 0200), 0);
  int result = AsNobody([&] {
    Capture capture = CaptureWith(locked.c_str());
    if (!capture.raised) return 1;
    if (capture.message.find("\"" + locked + "\"") == std::string::npos) return 2;
    if (capture.message.find("Permission denied") == std::string::npos) return 3;
    return 0;
  });
  if (result == testing_support::kCouldNotBecomeNobody) {
    GTEST_SKIP() << "cannot run as the user nobody here";
  }
  EXPECT_EQ(result, 0) << "1: read anyway, 2: no path, 3: no reason";
}

TEST(TextCaptureTest, DashReadsStandardInput) {
  TempDir temp;
  std::string input = temp / "stdin.log";
  WriteFile(input, "from standard input\n\xC3\xA9");
  int saved = dup(0);
  int file = open(input.c_str(), O_RDONLY);
  ASSERT_GE(file, 0);
  ASSERT_EQ(dup2(file, 0), 0);
  close(file);
  std::clearerr(stdin);
  Capture capture = CaptureWith("-");
  dup2(saved, 0);
  close(saved);
  std::clearerr(stdin);
  ASSERT_FALSE(capture.raised) << capture.message;
  EXPECT_EQ(capture.text, "from standard input\n\xC3\xA9");
}

TEST(TextCaptureTest, FileIsDecodedWithTheNamedEncoding) {
  TempDir temp;
  struct Case {
    std::string bytes;
    const char* encoding;  // null: not given (UTF-8)
    std::string text;
  } cases[] = {
      {"", nullptr, ""},
      {"", "ISO-8859-1", ""},
      {"plain\n", nullptr, "plain\n"},
      {"\xEF\xBB\xBFhead", nullptr, "head"},
      {"\xEF\xBB\xBF", nullptr, ""},
      {"a\xEF\xBB\xBF"
       "b",
       nullptr,
       "a\xEF\xBB\xBF"
       "b"},  // only a leading mark is dropped
      {"a\xFF"
       "b\xC3",
       nullptr, "a" + kFffd + "b" + kFffd},
      {std::string("a\0b\0", 4), nullptr, "a" + kFffd + "b" + kFffd},
      {"caf\xE9", "ISO-8859-1", "caf\xC3\xA9"},
      {"caf\xE9", "", "caf" + kFffd},  // empty Encoding: the default
      {"caf\xC3\xA9", "utf8", "caf\xC3\xA9"},
      {"\x80", "windows-1252", "\xE2\x82\xAC"},
      {"\x82\xA0", "Shift_JIS", "\xE3\x81\x82"},
      {"a\x82", "Shift_JIS", "a" + kFffd},  // a sequence cut off at the end
      {std::string("a\0b", 3), "UTF-16LE", "a" + kFffd},
      {std::string("\xFF\xFE"
                   "a\0\x3D\xD8\x00\xDE",
                   8),
       "UTF-16", "a\xF0\x9F\x98\x80"},
      {std::string("a\0\0\0", 4), "UTF-16LE", "a" + kFffd},
      {std::string("\x00\xD8"
                   "b\0",
                   4),
       "UTF-16LE", kFffd + "b"},
  };
  for (const Case& c : cases) {
    std::string path = temp / "tool.txt";
    WriteFile(path, c.bytes);
    Capture capture = CaptureWith(path.c_str(), c.encoding);
    ASSERT_FALSE(capture.raised) << capture.message;
    EXPECT_EQ(capture.text, c.text)
        << (c.encoding ? c.encoding : "default") << " " << testing::PrintToString(c.bytes);
    EXPECT_EQ(std::string(
                  DecodeToolText(c.bytes, c.encoding && *c.encoding ? c.encoding : "UTF-8").utf8()),
              c.text);
  }
}

TEST(TextCaptureTest, UnknownEncodingFails) {
  TempDir temp;
  std::string path = temp / "tool.txt";
  WriteFile(path, "text");
  Capture capture = CaptureWith(path.c_str(), "no-such-encoding");
  ASSERT_TRUE(capture.raised);
  EXPECT_NE(capture.message.find("\"no-such-encoding\""), std::string::npos) << capture.message;
}

}  // namespace
