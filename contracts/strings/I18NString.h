// The string library's internationalised string.
//
// An I18NString is a copyable value holding Unicode text. Positions count
// characters (code points) from 0; -1 means "none" or "up to the end".
// The text is kept as UTF-8 in a buffer shared between copies and
// substrings, so copying and slicing are cheap and a split of a large log
// stays linear. Every string holds well-formed Unicode: invalid input bytes
// and unpaired surrogates become U+FFFD when the string is made.
#ifndef QAMCVS_CONTRACTS_I18NSTRING_H_
#define QAMCVS_CONTRACTS_I18NSTRING_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

/// Name of the default narrow encoding: always "UTF-8", whatever the locale.
const char* I18NGetPlatformDefaultEncoding();

class I18NString {
 public:
  /// The empty string.
  I18NString();
  /// Text in a narrow encoding: null encoding means the default (UTF-8);
  /// "ucs-2" reads text as NUL-terminated UTF-16 units. length is in bytes
  /// (units for "ucs-2"); -1 means NUL-terminated. Raises PYLException for an
  /// unknown encoding. converter and context are unused.
  I18NString(const char* text, const char* encoding = nullptr,
             int length = -1, void* converter = nullptr,
             void* context = nullptr);
  /// UTF-16 units; length -1 means NUL-terminated.
  I18NString(const char16_t* units, int length = -1, void* converter = nullptr,
             void* context = nullptr);
  /// Platform wide text (UTF-32 where wchar_t is 32 bits); -1: NUL-terminated.
  explicit I18NString(const wchar_t* text, int length = -1);

  /// UTF-8 bytes; ill-formed sequences become U+FFFD.
  static I18NString FromUtf8(std::string_view bytes);
  /// As above; takes over the buffer when the bytes are well-formed.
  static I18NString FromUtf8(std::string&& bytes);
  static I18NString FromUtf8(const char* text) { return FromUtf8(std::string_view(text)); }
  /// Takes over bytes that the caller knows to be well-formed UTF-8 (the
  /// output of a UTF-8 encoder, say) without checking them again.
  static I18NString FromValidUtf8(std::string bytes);

  I18NString(const I18NString&) = default;
  I18NString(I18NString&&) noexcept = default;
  I18NString& operator=(const I18NString&) = default;
  I18NString& operator=(I18NString&&) noexcept = default;
  /// Assigns UTF-8 text.
  I18NString& operator=(const char* text);

  /// First position of pattern at or after start; start -1 searches the
  /// whole text. -1 when absent or when start lies outside the text.
  int find(const I18NString& pattern, int start = 0) const;
  int find(const char* pattern, int start = 0) const;
  /// First position of the character code at or after start (as above).
  int find(char32_t code, int start = 0) const;

  /// count characters from start; count -1 runs to the end. Out-of-range
  /// arguments are clamped; any other negative count gives the empty string.
  I18NString substr(int start, int count = -1) const;
  /// Characters from start up to end (excluded); end -1 runs to the end; an
  /// end before start gives the empty string.
  I18NString substring(int start, int end = -1) const;

  /// The text between two byte offsets of utf8(), which must lie on
  /// character boundaries; shares this string's buffer. O(1) for ASCII text;
  /// otherwise the position marks find the characters in O(log n) once
  /// the text before them has been marked.
  I18NString SliceUtf8(std::size_t from, std::size_t to) const;

  /// Removes count characters from start (-1: to the end). erase(0, -1) empties.
  I18NString& erase(int start = 0, int count = -1);
  /// Drops every trailing copy of the character code.
  I18NString& trimTrailing(char32_t code);

  /// Number of characters; O(1).
  int length() const { return cpLen_; }
  /// Number of UTF-16 units; O(1) for ASCII text, else O(n).
  int size() const;
  bool empty() const { return cpLen_ == 0; }
  /// The character at position, or 0 outside the text.
  char32_t charAt(int position) const;

  I18NString& operator+=(const I18NString& other);
  I18NString& operator+=(const char* text);
  I18NString& operator+=(char32_t code);

  bool operator==(const I18NString& other) const { return utf8() == other.utf8(); }
  bool operator!=(const I18NString& other) const { return !(*this == other); }
  bool operator==(const char* text) const { return utf8() == std::string_view(text); }
  bool operator!=(const char* text) const { return !(*this == text); }
  /// Code point order (byte order of UTF-8).
  bool operator<(const I18NString& other) const { return utf8() < other.utf8(); }

  /// The text as UTF-8 bytes; valid while this string is unchanged.
  std::string_view utf8() const {
    return rep_ ? std::string_view(rep_->bytes.data() + byteBegin_, byteLen_)
                : std::string_view();
  }
  std::u16string toUtf16() const;
  std::wstring toWide() const;

 private:
  struct Rep {
    std::string bytes;  // well-formed UTF-8
    // Byte offset of every kMarkStep-th character, built lazily so that a
    // character position turns into a byte offset in constant time.
    std::vector<uint32_t> marks;
    std::size_t markedBytes = 0;  // bytes covered by marks
    int markedChars = 0;          // characters covered by marks
  };
  static constexpr int kMarkStep = 64;
  // The longest slice whose characters SliceUtf8 counts rather than look up.
  static constexpr std::size_t kShortSlice = 1024;

  /// Marks the rep's characters up to character chars and byte bytes.
  void ExtendMarks(int chars, std::size_t bytes) const;
  /// Byte offset (within rep_->bytes) of the character at position (0..length).
  std::size_t ByteAt(int position) const;
  /// Position within rep_ of the character that starts at byte offset
  /// (within rep_->bytes), which lies on a character boundary.
  int CharAtByte(std::size_t offset) const;
  /// Number of characters in bytes [from, to) of rep_.
  int CountChars(std::size_t from, std::size_t to) const;
  I18NString Slice(int start, int end) const;
  /// Makes the rep unique and ending with this string's text, to append to.
  void PrepareAppend(std::size_t extra);
  void Append(std::string_view validUtf8);

  std::shared_ptr<Rep> rep_;
  std::size_t byteBegin_ = 0;
  std::size_t byteLen_ = 0;
  // Position of the first character within rep_; an ASCII string, which
  // finds its bytes by position alone, may leave it 0.
  int charBegin_ = 0;
  int cpLen_ = 0;
};

/// Concatenation.
I18NString operator+(const I18NString& left, const I18NString& right);
I18NString operator+(const I18NString& left, char32_t code);

#endif  // QAMCVS_CONTRACTS_I18NSTRING_H_
