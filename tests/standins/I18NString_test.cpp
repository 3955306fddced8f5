// I18NString at the boundaries the commands rely on: -1 conventions, the end
// of the text, characters outside ASCII and outside the BMP, and copies and
// slices that share one buffer.
#include "I18NString.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "PYLException.h"

namespace {

// "a", "é" (2 bytes), "日", "本" (3 bytes each), an emoji outside the BMP
// (4 bytes, 2 UTF-16 units), "b".
const char kMixed[] =
    "a\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80"
    "b";
const char kEmoji[] = "\xF0\x9F\x98\x80";

I18NString Mixed() { return I18NString::FromUtf8(kMixed); }
std::string U8(const I18NString& text) { return std::string(text.utf8()); }

TEST(I18NStringTest, LengthCountsCharactersAndSizeCountsUtf16Units) {
  struct Case {
    const char* text;
    int length;
    int size;
  } cases[] = {
      {"", 0, 0},     {"abc", 3, 3},  {"\xC3\xA9", 1, 1}, {"\xE6\x97\xA5\xE6\x9C\xAC", 2, 2},
      {kEmoji, 1, 2}, {kMixed, 6, 7},
  };
  for (const Case& c : cases) {
    I18NString text = I18NString::FromUtf8(c.text);
    EXPECT_EQ(text.length(), c.length) << c.text;
    EXPECT_EQ(text.size(), c.size) << c.text;
    EXPECT_EQ(text.empty(), c.length == 0) << c.text;
    EXPECT_EQ(static_cast<int>(text.toUtf16().size()), c.size) << c.text;
  }
  I18NString emojiSlice = Mixed().substr(3, 2);  // "本" + emoji
  EXPECT_EQ(emojiSlice.length(), 2);
  EXPECT_EQ(emojiSlice.size(), 3);
}

TEST(I18NStringTest, FindCountsCharactersAndTreatsMinusOneAsWholeText) {
  I18NString text = Mixed();
  struct Case {
    const char* pattern;
    int start;
    int expected;
  } cases[] = {
      {"a", -1, 0},
      {"\xE6\x97\xA5\xE6\x9C\xAC", -1, 2},
      {"\xE6\x97\xA5\xE6\x9C\xAC", 0, 2},
      {"\xE6\x97\xA5\xE6\x9C\xAC", 2, 2},
      {"\xE6\x97\xA5\xE6\x9C\xAC", 3, -1},
      {kEmoji, 0, 4},
      {"b", 5, 5},
      {"b", 6, -1},   // start at the end of the text
      {"b", 7, -1},   // start past the end
      {"b", -2, -1},  // only -1 means "whole text"
      {"x", -1, -1},
      {"\xC3\xA9\xE6\x97\xA5", 0, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text.find(c.pattern, c.start), c.expected) << c.pattern << " from " << c.start;
    EXPECT_EQ(text.find(I18NString::FromUtf8(c.pattern), c.start), c.expected)
        << c.pattern << " from " << c.start;
  }
  EXPECT_EQ(text.find(U'\U0001F600', -1), 4);
  EXPECT_EQ(text.find(U'\u00E9', 0), 1);
  EXPECT_EQ(text.find(U'\u00E9', 2), -1);
  EXPECT_EQ(I18NString().find("a", -1), -1);
  // Positions in a slice count from the slice's own start.
  I18NString tail = text.substring(2);
  EXPECT_EQ(tail.find("b", -1), 3);
  EXPECT_EQ(tail.find(U'\U0001F600', 1), 2);
  EXPECT_EQ(tail.find("a", -1), -1);
}

TEST(I18NStringTest, SubstrAndSubstringAtTheEnds) {
  I18NString text = Mixed();
  struct Case {
    bool isSubstr;  // substr(start, count) or substring(start, end)
    int first;
    int second;
    std::string expected;
  } cases[] = {
      {false, 2, -1,
       "\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80"
       "b"},
      {false, 2, 4, "\xE6\x97\xA5\xE6\x9C\xAC"},
      {false, 4, 5, kEmoji},
      {false, 4, 2, ""},
      {false, 0, 100, kMixed},
      {false, 6, -1, ""},
      {false, 0, 0, ""},
      {true, 4, -1, std::string(kEmoji) + "b"},
      {true, 4, 1, kEmoji},
      {true, 5, 10, "b"},
      {true, 6, 1, ""},
      {true, 2, -2, ""},
      {true, 0, -1, kMixed},
      {true, 1, 0, ""},
      {true, 1, 2147483647, std::string(kMixed).substr(1)},
  };
  for (const Case& c : cases) {
    I18NString got =
        c.isSubstr ? text.substr(c.first, c.second) : text.substring(c.first, c.second);
    EXPECT_EQ(U8(got), c.expected)
        << (c.isSubstr ? "substr(" : "substring(") << c.first << ", " << c.second << ")";
    EXPECT_EQ(got.length(), I18NString::FromUtf8(c.expected).length());
  }
}

TEST(I18NStringTest, SlicesOfSlicesKeepTheirOwnBounds) {
  I18NString text = Mixed();
  I18NString inner = text.substring(1).substring(1, 3);
  EXPECT_EQ(U8(inner), "\xE6\x97\xA5\xE6\x9C\xAC");
  EXPECT_EQ(inner.length(), 2);
  EXPECT_EQ(inner.find(U'\U0001F600', -1), -1);  // just past the slice
  EXPECT_EQ(inner.charAt(2), 0u);
  EXPECT_EQ(U8(text.substr(2).substr(2)), std::string(kEmoji) + "b");
  EXPECT_EQ(U8(text.substr(2).substr(2).substr(1)), "b");
  EXPECT_EQ(inner.toUtf16(), u"\u65E5\u672C");
  EXPECT_EQ(text.substr(4, 1).toUtf16(), u"\U0001F600");
}

// The history reads its values as byte ranges of an entry; a slice must
// keep counting characters right when it starts after non-ASCII text.
TEST(I18NStringTest, SliceByBytesCountsCharactersFromItsOwnStart) {
  I18NString entry = I18NString::FromUtf8("x\xC3\xA9 author: \xE6\x97\xA5\xF0\x9F\x98\x80;").substring(1);
  std::string_view bytes = entry.utf8();
  std::size_t from = bytes.find(':') + 2;
  std::size_t to = bytes.find(';');
  I18NString name = entry.SliceUtf8(from, to);
  EXPECT_EQ(name, I18NString::FromUtf8("\xE6\x97\xA5\xF0\x9F\x98\x80"));
  EXPECT_EQ(name.length(), 2);
  EXPECT_EQ(name.size(), 3);
  EXPECT_EQ(name.find(U'\U0001F600'), 1);
  EXPECT_EQ(name.substring(1), I18NString::FromUtf8("\xF0\x9F\x98\x80"));
  EXPECT_TRUE(entry.SliceUtf8(to, from).empty());
  EXPECT_EQ(entry.SliceUtf8(0, 1000), entry);

  // Far into a long text the characters are found through the position
  // marks: every slice must agree with the same slice by characters.
  std::string pieces[] = {"a", "\xC3\xA9", "\xE6\x97\xA5", "\xF0\x9F\x98\x80"};
  std::string longBytes;
  std::vector<std::size_t> starts;  // byte offset of each character
  for (int i = 0; i < 1000; ++i) {
    starts.push_back(longBytes.size());
    longBytes += pieces[(i * 7 + i / 3) % 4];
  }
  starts.push_back(longBytes.size());
  I18NString text = I18NString::FromUtf8(longBytes).substring(5);
  for (int first : {0, 1, 63, 64, 65, 200, 511, 990}) {
    for (int count : {1, 2, 64, 129, 300}) {
      int last = std::min(first + count, 995);
      I18NString slice =
          text.SliceUtf8(starts[5 + first] - starts[5], starts[5 + last] - starts[5]);
      EXPECT_EQ(slice, text.substring(first, last)) << first << "+" << count;
      EXPECT_EQ(slice.length(), last - first);
      EXPECT_EQ(slice.substring(1), text.substring(first + 1, last)) << first << "+" << count;
    }
  }
}

TEST(I18NStringTest, EraseAndTrimTrailing) {
  I18NString text = Mixed();
  EXPECT_EQ(U8(I18NString(text).erase(0, -1)), "");
  EXPECT_TRUE(I18NString(text).erase(0, -1).empty());
  EXPECT_EQ(U8(I18NString(text).erase(1, 2)),
            "a\xE6\x9C\xAC\xF0\x9F\x98\x80"
            "b");
  EXPECT_EQ(U8(I18NString(text).erase(4)), "a\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC");
  EXPECT_EQ(U8(I18NString(text).erase(0, 1)), std::string(kMixed).substr(1));
  EXPECT_EQ(U8(I18NString(text).erase(5, 100)), std::string(kMixed, sizeof kMixed - 2));

  struct Case {
    const char* text;
    char32_t code;
    const char* expected;
  } cases[] = {
      {"x\n\n", U'\n', "x"},
      {"\n\n", U'\n', ""},
      {"x\ny\n", U'\n', "x\ny"},
      {"a\xF0\x9F\x98\x80\xF0\x9F\x98\x80", U'\U0001F600', "a"},
      {"\xC3\xA9\xC3\xA9", U'\u00E9', ""},
      {"abc", U'x', "abc"},
      {"", U'\n', ""},
  };
  for (const Case& c : cases) {
    I18NString value = I18NString::FromUtf8(c.text);
    value.trimTrailing(c.code);
    EXPECT_EQ(U8(value), c.expected) << c.text;
    EXPECT_EQ(value.length(), I18NString::FromUtf8(c.expected).length()) << c.text;
  }
  // On a slice, trimming stops at the slice's own start.
  I18NString slice = I18NString::FromUtf8("bbbabb").substring(4);
  slice.trimTrailing(U'b');
  EXPECT_TRUE(slice.empty());
}

TEST(I18NStringTest, CopiesAndSlicesStayIndependentAfterMutation) {
  I18NString original = Mixed();
  I18NString copy = original;
  I18NString slice = original.substr(1, 3);
  I18NString whole = original.substring(0);
  original.erase(1, 1);
  original += "Z";
  EXPECT_EQ(U8(original),
            "a\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80"
            "bZ");
  EXPECT_EQ(original.length(), 6);
  copy.trimTrailing(U'b');
  copy += U'\U0001F600';
  EXPECT_EQ(U8(copy), "a\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80\xF0\x9F\x98\x80");
  slice += I18NString::FromUtf8("!");
  EXPECT_EQ(U8(slice), "\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC!");
  EXPECT_EQ(slice.length(), 4);
  EXPECT_EQ(U8(whole), kMixed);

  // A slice that outlives the text it came from owns the buffer alone;
  // appending to it must not bring back the text after its end.
  I18NString survivor;
  {
    I18NString big = I18NString::FromUtf8(std::string(kMixed) + "tail");
    survivor = big.substr(0, 2);
  }
  survivor += "x";
  EXPECT_EQ(U8(survivor), "a\xC3\xA9x");
  EXPECT_EQ(survivor.length(), 3);
  EXPECT_EQ(survivor.find("t", -1), -1);

  I18NString self = Mixed();
  self += self;
  EXPECT_EQ(U8(self), std::string(kMixed) + kMixed);
  EXPECT_EQ(self.length(), 12);
  EXPECT_EQ(self.find("b", 6), 11);

  I18NString joined = Mixed().substr(4, 1) + U'\u00E9';
  EXPECT_EQ(U8(joined), std::string(kEmoji) + "\xC3\xA9");
  EXPECT_EQ(U8(joined + Mixed().substr(0, 1)), std::string(kEmoji) +
                                                   "\xC3\xA9"
                                                   "a");
}

TEST(I18NStringTest, ComparisonsUseTheTextNotTheBuffer) {
  I18NString text = Mixed();
  EXPECT_TRUE(text == kMixed);
  EXPECT_FALSE(text != kMixed);
  EXPECT_TRUE(text.substr(1, 1) == I18NString::FromUtf8("\xC3\xA9"));
  EXPECT_TRUE(text.substr(1, 1) != "e");
  EXPECT_TRUE(I18NString() == "");
  // Code point order: ASCII < é < 日 < U+FFFD < emoji (UTF-16 order would
  // put the emoji before U+FFFD).
  const char* ordered[] = {"", "a", "b", "\xC3\xA9", "\xE6\x97\xA5", "\xEF\xBF\xBD", kEmoji};
  for (std::size_t i = 0; i + 1 < sizeof ordered / sizeof ordered[0]; ++i) {
    EXPECT_TRUE(I18NString::FromUtf8(ordered[i]) < I18NString::FromUtf8(ordered[i + 1])) << i;
    EXPECT_FALSE(I18NString::FromUtf8(ordered[i + 1]) < I18NString::FromUtf8(ordered[i])) << i;
  }
}

TEST(I18NStringTest, IllFormedInputBecomesReplacementCharacters) {
  const std::string kFffd = "\xEF\xBF\xBD";
  EXPECT_EQ(U8(I18NString::FromUtf8("\xC3"
                                    "a")),
            kFffd + "a");
  EXPECT_EQ(U8(I18NString::FromUtf8("a\xFF")), "a" + kFffd);
  EXPECT_EQ(U8(I18NString::FromUtf8(std::string("a\0b", 3))), std::string("a\0b", 3));
  for (const char* bad : {"\xED\xA0\x80", "\xC0\x80", "\xF4\x90\x80\x80", "\xF0\x9F\x98"}) {
    I18NString text = I18NString::FromUtf8(bad);
    ASSERT_GT(text.length(), 0) << bad;
    for (int i = 0; i < text.length(); ++i) EXPECT_EQ(text.charAt(i), 0xFFFDu) << bad;
  }
  // Unpaired surrogates from UTF-16 and wide text.
  const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
  EXPECT_EQ(U8(I18NString(lone)), "a" + kFffd + "b" + kFffd);
  const char16_t pair[] = {0xD83D, 0xDE00, 0};
  EXPECT_EQ(U8(I18NString(pair)), kEmoji);
  const wchar_t wide[] = {L'x', static_cast<wchar_t>(0xDFFF), 0};
  EXPECT_EQ(U8(I18NString(wide)), "x" + kFffd);
  if constexpr (sizeof(wchar_t) == 4) {  // UTF-32: beyond U+10FFFF (Windows' is UTF-16)
    const wchar_t beyond[] = {L'x', static_cast<wchar_t>(0x110000), 0};
    EXPECT_EQ(U8(I18NString(beyond)), "x" + kFffd);
  }
  EXPECT_EQ(Mixed().toWide(), std::wstring(L"a\u00E9\u65E5\u672C\U0001F600b"));
}

TEST(I18NStringTest, NarrowEncodings) {
  EXPECT_EQ(U8(I18NString("caf\xE9", "ISO-8859-1")), "caf\xC3\xA9");
  EXPECT_EQ(U8(I18NString("caf\xE9", nullptr)), "caf\xEF\xBF\xBD");
  EXPECT_EQ(U8(I18NString("abcdef", "UTF-8", 3)), "abc");
  const char16_t units[] = {u'\u65E5', 0xD83D, 0xDE00, 0};
  EXPECT_EQ(U8(I18NString(reinterpret_cast<const char*>(units), "ucs-2")),
            "\xE6\x97\xA5" + std::string(kEmoji));
  EXPECT_THROW(I18NString("x", "no-such-encoding"), PYLException);
  EXPECT_STREQ(I18NGetPlatformDefaultEncoding(), "UTF-8");
}

// A log is cut by repeated find and substring; every line must come out
// whole. What the cut costs, bench/strings_bench.cpp measures.
TEST(I18NStringTest, SplittingALargeNonAsciiText) {
  std::string line = "\xE6\x97\xA5 r\xC3\xA9vision " + std::string(kEmoji) + "\n";
  std::string bytes;
  const int kLines = 200000;
  for (int i = 0; i < kLines; ++i) bytes += line;
  I18NString text = I18NString::FromUtf8(bytes);
  int lines = 0;
  int start = 0;
  int totalLength = 0;
  for (int end = text.find(U'\n', 0); end >= 0; end = text.find(U'\n', start)) {
    I18NString piece = text.substring(start, end);
    totalLength += piece.length();
    ++lines;
    start = end + 1;
  }
  EXPECT_EQ(lines, kLines);
  EXPECT_EQ(totalLength, kLines * 12);
}

}  // namespace
