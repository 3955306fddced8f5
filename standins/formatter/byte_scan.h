// Word-at-a-time tests over UTF-8 bytes: the documents carry megabytes of
// log text, nearly all of it ASCII without markup, and a test of eight
// bytes at once costs little more than a test of one.
#ifndef QAMCVS_STANDINS_FORMATTER_BYTE_SCAN_H_
#define QAMCVS_STANDINS_FORMATTER_BYTE_SCAN_H_

#include <cstdint>
#include <cstring>

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

}  // namespace byte_scan

#endif  // QAMCVS_STANDINS_FORMATTER_BYTE_SCAN_H_
