// UTF-8 as every layer reads it: which bytes are well-formed, how the others
// are repaired, how captured tool text is decoded, and the word-at-a-time
// tests that keep those scans fast. Logs are megabytes of nearly all ASCII
// text, and a test of eight bytes at once costs little more than a test of one.
#ifndef QAMCVS_STANDINS_UTF8_UTF8_TEXT_H_
#define QAMCVS_STANDINS_UTF8_UTF8_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace byte_scan {

constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHighBits = 0x8080808080808080ULL;

/// The eight bytes at data (which need not be aligned) as one word.
inline uint64_t Load(const void* data) {
  uint64_t word;
  std::memcpy(&word, data, sizeof word);
  return word;
}

/// Non-zero when a byte of word equals c.
inline uint64_t HasByte(uint64_t word, uint8_t c) {
  uint64_t x = word ^ (kOnes * c);
  return (x - kOnes) & ~x & kHighBits;
}

/// Non-zero when a byte of word lies below n (n at most 0x80); word must
/// hold ASCII bytes only.
inline uint64_t HasAsciiBelow(uint64_t word, uint8_t n) { return (word - kOnes * n) & kHighBits; }

/// Non-zero when a byte of word is not ASCII.
inline uint64_t HasNonAscii(uint64_t word) { return word & kHighBits; }

/// The high bit of every byte of word that is a UTF-8 trail byte (10xxxxxx).
inline uint64_t TrailBits(uint64_t word) { return word & ~(word << 1) & kHighBits; }

/// How many bytes of word are UTF-8 trail bytes.
inline int CountTrailBytes(uint64_t word) {
  // One bit a byte, added up into the top byte by the multiplication.
  return static_cast<int>((((TrailBits(word) >> 7) * kOnes) >> 56));
}

}  // namespace byte_scan

/// True for a UTF-8 trail byte (10xxxxxx): it never begins a character.
inline bool IsUtf8Trail(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

/// The length of the sequence that lead begins in well-formed UTF-8.
inline std::size_t Utf8SequenceLength(char lead) {
  const auto byte = static_cast<unsigned char>(lead);
  if (byte < 0x80) return 1;
  if (byte < 0xE0) return 2;
  if (byte < 0xF0) return 3;
  return 4;
}

/// How far bytes are well-formed UTF-8, as ICU's U8_NEXT reads it: no
/// surrogates, no overlong forms, nothing past U+10FFFF.
struct Utf8Check {
  std::size_t validBytes;  ///< the length of the longest well-formed start
  std::size_t nuls;        ///< how many U+0000 that start holds
};
Utf8Check CheckUtf8(std::string_view bytes);

/// True when all of bytes is well-formed UTF-8.
inline bool IsValidUtf8(std::string_view bytes) {
  return CheckUtf8(bytes).validBytes == bytes.size();
}

/// The number of characters (code points) in well-formed UTF-8.
std::size_t CountUtf8Chars(std::string_view utf8);

/// bytes with every ill-formed piece (each maximal part that U8_NEXT refuses)
/// replaced by U+FFFD; U+0000 stays.
std::string RepairUtf8(std::string_view bytes);

/// How captured bytes that are not valid UTF-8 are read.
enum class Utf8Reading {
  /// Every ill-formed piece becomes U+FFFD, as in RepairUtf8.
  kStrict,
  /// A line (ended by a line feed or a carriage return) that is valid UTF-8
  /// is kept; any other line is read as Windows-1252, its five undefined
  /// bytes as U+FFFD. Logs mix clients that wrote either.
  kLineByLineOrWindows1252,
};

/// Decodes bytes in place: the result is well-formed UTF-8 in which U+0000
/// has become U+FFFD (a NUL-terminated copy would end there). The buffer is
/// resized at most once, to the decoded size, and no other copy of the text
/// is made. Returns false, leaving bytes unchanged, when the decoded text
/// would be longer than maxBytes.
bool DecodeUtf8InPlace(std::string& bytes, Utf8Reading reading, std::size_t maxBytes);

#endif  // QAMCVS_STANDINS_UTF8_UTF8_TEXT_H_
