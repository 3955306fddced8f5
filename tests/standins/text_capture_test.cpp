// Capturing the tool's text named by OutputFile: files that cannot be read
// fail with the path and the reason; whatever bytes are read become valid
// text without U+0000.
#include "text_capture.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

#include "PYLException.h"
#include "QamFormatter.h"
#include "encoding.h"
#include "support/cvs_fixture.h"
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

Capture CaptureWith(const char* outputFile, const char* encoding = nullptr,
                    const CaptureLimits& limits = CaptureLimits()) {
  QamInputParams params;
  if (outputFile != nullptr) params.SetValue("OutputFile", I18NString::FromUtf8(outputFile));
  if (encoding != nullptr) params.SetValue("Encoding", I18NString(encoding));
  Capture capture;
  try {
    capture.text = std::string(CaptureToolText(params, limits).utf8());
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
  auto times = [](const std::string& piece, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += piece;
    return out;
  };
  struct Case {
    std::string bytes;
    const char* encoding;  // null: not given
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
       "UTF-8", "a" + kFffd + "b" + kFffd},
      {"\xF0\x9F\x98"
       "a\xED\xA0\x80",
       "UTF-8", kFffd + "a" + kFffd + kFffd + kFffd},  // cut and surrogate sequences
      {std::string("a\0b\0", 4), nullptr, "a" + kFffd + "b" + kFffd},
      {std::string("a\0\xE9", 3), nullptr, "a" + kFffd + "\xC3\xA9"},
      // Without Encoding, each line is UTF-8 when it is valid UTF-8 and
      // Windows-1252 when it is not; a named UTF-8 stays strict.
      {"caf\xE9", nullptr, "caf\xC3\xA9"},
      {"caf\xE9", "", "caf\xC3\xA9"},  // empty Encoding: the default
      {"caf\xE9", "UTF-8", "caf" + kFffd},
      {"caf\xE9\ncaf\xC3\xA9\r\n\x80 \x81\x8D\x8F\x90\x9D\rna\xC3\xAFve \xE2\x82",
       nullptr,
       "caf\xC3\xA9\ncaf\xC3\xA9\r\n\xE2\x82\xAC " + kFffd + kFffd + kFffd + kFffd + kFffd +
           "\rna\xC3\x83\xC2\xAFve \xC3\xA2\xE2\x80\x9A"},
      {"\xEF\xBB\xBF\xE9t\xE9", nullptr, "\xC3\xA9t\xC3\xA9"},
      {"caf\xE9", "ISO-8859-1", "caf\xC3\xA9"},
      {"caf\xC3\xA9", "utf8", "caf\xC3\xA9"},
      {"\x80", "windows-1252", "\xE2\x82\xAC"},
      {"\x82\xA0", "Shift_JIS", "\xE3\x81\x82"},
      // Longer decoded than read: measured, then decoded into a buffer of
      // that size, characters cut nowhere.
      {std::string(10000, '\xE9'), "ISO-8859-1", times("\xC3\xA9", 10000)},
      {"a" + times("\x82\xA0", 5000), "Shift_JIS", "a" + times("\xE3\x81\x82", 5000)},
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
    EXPECT_EQ(std::string(DecodeToolText(c.bytes, c.encoding).utf8()), c.text);
  }
}

// Text is checked eight bytes at a time; a long line must come out as a
// decoder that reads it byte by byte gives it, wherever the words fall (each
// shift moves them by a byte).
TEST(TextCaptureTest, LongLinesDecodeAsTheWholeTextReadForward) {
  const std::string pieces[] = {"a",        "\xC3\xA9",     "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                                "\xFF",     "\x80",         std::string(1, '\0'),
                                "\xE2\x82", "\xF0\x9F\x98", "\xED\xA0\x80", "\xA9\xA9\xA9\xA9"};
  auto withoutNul = [](std::string_view text) {
    std::string out;
    for (char c : text) out += c == '\0' ? kFffd : std::string(1, c);
    return out;
  };
  // Windows-1252 from its code chart: 0x80 to 0x9F as listed (0 where the
  // byte is undefined), every other byte the code point of its value.
  static const char32_t kFrom0x80[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  auto windows1252 = [&](std::string_view line) {
    std::string out;
    for (char c : line) {
      const auto byte = static_cast<unsigned char>(c);
      const char32_t code = byte >= 0x80 && byte < 0xA0 ? kFrom0x80[byte - 0x80] : byte;
      testing_support::AppendUtf8(out, code == 0 ? 0xFFFD : code);
    }
    return out;
  };
  std::mt19937 random(7);
  for (bool validLine : {true, false}) {
    std::string line;
    while (line.size() < 300 * 1024) {
      // A valid line takes only the valid pieces; U+0000 is one of them.
      const std::size_t piece = random() % (validLine ? 7 : 11);
      if (validLine && (piece == 4 || piece == 5)) continue;
      line += pieces[piece];
    }
    for (std::size_t shift = 0; shift < 8; ++shift) {
      SCOPED_TRACE((validLine ? "valid line, shift " : "invalid line, shift ") +
                   std::to_string(shift));
      const std::string text = std::string(shift, 'x') + line + "\nshort \xE9 line\n";
      const std::string strict(DecodeToolText(text, "UTF-8").utf8());
      EXPECT_TRUE(strict == withoutNul(I18NString::FromUtf8(std::string_view(text)).utf8()));
      const std::string byLine(DecodeToolText(text, nullptr).utf8());
      const std::string first = std::string(shift, 'x') + line + "\n";
      const std::string expected =
          (validLine ? withoutNul(first) : windows1252(first)) + "short \xC3\xA9 line\n";
      EXPECT_TRUE(byLine == expected);
    }
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

// Reads "-" with descriptor 0 replaced by input for the call.
Capture CaptureStandardInput(int input) {
  const int saved = dup(0);
  dup2(input, 0);
  Capture capture = CaptureWith("-");
  dup2(saved, 0);
  close(saved);
  return capture;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Standard input handed over non-blocking, with the text arriving late: the
// capture waits for it instead of failing with EAGAIN.
TEST(TextCaptureTest, NonBlockingStandardInputWaitsForLateText) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  ASSERT_EQ(fcntl(pipeEnds[0], F_SETFL, fcntl(pipeEnds[0], F_GETFL) | O_NONBLOCK), 0);
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ssize_t put = write(pipeEnds[1], "late ", 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    put += write(pipeEnds[1], "text", 4);
    EXPECT_EQ(put, 9);
    close(pipeEnds[1]);
  });
  Capture capture = CaptureStandardInput(pipeEnds[0]);
  writer.join();
  close(pipeEnds[0]);
  ASSERT_FALSE(capture.raised) << capture.message;
  EXPECT_EQ(capture.text, "late text");
}

// A FIFO is opened without blocking: its writer is waited for a bounded time
// (shortened here), after which the capture fails saying so; a writer that
// comes in time, or that opens it and writes later, is read to its end.
TEST(TextCaptureTest, FifosAreWaitedOnForABoundedTime) {
  TempDir temp;
  const std::string fifo = temp / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  CaptureLimits limits;
  limits.fifoWriterWaitMilliseconds = 300;

  auto start = std::chrono::steady_clock::now();
  Capture alone = CaptureWith(fifo.c_str(), nullptr, limits);
  EXPECT_GE(SecondsSince(start), 0.29);
  EXPECT_LT(SecondsSince(start), 10.0);
  ASSERT_TRUE(alone.raised);
  EXPECT_EQ(alone.message, "No program opened the FIFO \"" + fifo +
                               "\" named by OutputFile for writing within 300 milliseconds.");

  struct Writer {
    const char* name;
    int openAfter;   // milliseconds
    int writeAfter;  // milliseconds after opening
  } writers[] = {
      {"in time", 100, 0},
      {"opens in time, writes after the wait", 100, 600},
      {"opens in time, writes nothing", 100, 400},
  };
  for (const Writer& w : writers) {
    SCOPED_TRACE(w.name);
    const std::string text = w.writeAfter == 400 ? "" : "Files a and b differ\n";
    std::thread writer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(w.openAfter));
      const int end = open(fifo.c_str(), O_WRONLY);
      std::this_thread::sleep_for(std::chrono::milliseconds(w.writeAfter));
      EXPECT_EQ(write(end, text.data(), text.size()), static_cast<ssize_t>(text.size()));
      close(end);
    });
    Capture capture = CaptureWith(fifo.c_str(), nullptr, limits);
    writer.join();
    ASSERT_FALSE(capture.raised) << capture.message;
    EXPECT_EQ(capture.text, text);
  }
}

// The limit holds for the text as it is read and as it is decoded, and the
// failure names the file and the limit; a file known to be over it is
// refused before it is read.
TEST(TextCaptureTest, TextOverTheLimitNamesTheFileAndTheLimit) {
  TempDir temp;
  CaptureLimits limits;
  limits.maxTextBytes = 1000;
  struct Case {
    const char* name;
    std::string bytes;
    const char* encoding;
    bool refused;
  } cases[] = {
      {"at the limit", std::string(1000, 'a'), nullptr, false},
      {"one byte over", std::string(1001, 'a'), nullptr, true},
      {"decoded over: three bytes for each", std::string(400, '\x80'), nullptr, true},
      {"decoded over: U+FFFD", std::string(400, '\xFF'), "UTF-8", true},
      {"decoded over: UTF-16", std::string(700, '\x20'), "UTF-16LE", true},  // U+2020 each
      {"decoded within: three bytes for each", std::string(333, '\x80'), nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = temp / "tool.txt";
    WriteFile(path, c.bytes);
    Capture capture = CaptureWith(path.c_str(), c.encoding, limits);
    EXPECT_EQ(capture.raised, c.refused) << capture.message;
    if (c.refused) {
      EXPECT_EQ(capture.message, "The text in the file \"" + path +
                                     "\" named by OutputFile is too large: more than 1000 bytes "
                                     "is not supported.");
    }
  }
  // Over the limit on a stream, where no size is known beforehand. The
  // capture closes the FIFO early; its writer must see EPIPE, not die.
  std::signal(SIGPIPE, SIG_IGN);
  const std::string fifo = temp / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] {
    const int end = open(fifo.c_str(), O_WRONLY);
    const std::string many(100000, 'a');
    ssize_t ignored = write(end, many.data(), many.size());
    (void)ignored;
    close(end);
  });
  Capture stream = CaptureWith(fifo.c_str(), nullptr, limits);
  writer.join();
  ASSERT_TRUE(stream.raised);
  EXPECT_NE(stream.message.find("more than 1000 bytes"), std::string::npos) << stream.message;
}

// Many repositories hold messages from older clients that wrote Latin-1 and
// newer ones that wrote UTF-8. Without Encoding each line is read in the one
// that fits, so both read "café"; a named UTF-8 stays strict.
TEST(TextCaptureTest, LogsOfLatin1AndUtf8ClientsReadAlike) {
  if (!testing_support::HaveProgram("cvs") || !testing_support::HaveProgram("rlog")) {
    GTEST_SKIP() << "cvs and rcs are needed";
  }
  testing_support::CvsFixture cvs;
  cvs.Import("mod", {{"f.c", "1\n"}}, "import", "alice");
  const std::string copy = cvs.Checkout("mod");
  WriteFile(copy + "/f.c", "2\n");
  cvs.Commit(copy, {"f.c"}, "caf\xE9 from an old client", "alice");
  WriteFile(copy + "/f.c", "3\n");
  cvs.Commit(copy, {"f.c"}, "caf\xC3\xA9 from a new client", "bob");
  const std::string logs[] = {cvs.Log(copy, {"f.c"}), cvs.RLog("mod/f.c"),
                              testing_support::RcsLog(cvs.Archive("mod/f.c"))};
  for (const std::string& log : logs) {
    const std::string text(DecodeToolText(log, nullptr).utf8());
    EXPECT_NE(text.find("caf\xC3\xA9 from an old client"), std::string::npos) << text;
    EXPECT_NE(text.find("caf\xC3\xA9 from a new client"), std::string::npos) << text;
    const std::string strict(DecodeToolText(log, "UTF-8").utf8());
    EXPECT_NE(strict.find("caf" + kFffd + " from an old client"), std::string::npos) << strict;
  }
  TempDir temp;
  WriteFile(temp / "log", logs[0]);
  const testing_support::RunResult run =
      testing_support::RunQamcvs({"4", "OutputFile=" + temp / "log"});
  const std::vector<std::string> comments = testing_support::ParseXml(run.out).TextsOf("Comment");
  ASSERT_GE(comments.size(), 2u) << run.out;
  EXPECT_EQ(comments[comments.size() - 2], "caf\xC3\xA9 from an old client");
  EXPECT_EQ(comments.back(), "caf\xC3\xA9 from a new client");
}

}  // namespace
