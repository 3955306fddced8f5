#include "utf8_in_place.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string_view>

#include "encoding.h"

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";
constexpr std::size_t kReplacementLength = 3;

// Decoding goes block by block, so that a 1 GB line needs no second buffer
// of its size: 64 KiB in, at most three times that out.
constexpr std::size_t kBlock = 64 * 1024;

// How one stretch of the text is read.
enum class Mode {
  kValidUtf8,    // known to be valid: only U+0000 changes
  kWindows1252,  // every byte through the code page
  kRepair,       // ill-formed sequences become U+FFFD
};

inline bool IsTrail(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }
// Finds line ends going forward with memchr, not a loop of comparisons
// (logs are megabytes), remembering the next line feed and the next carriage
// return, so that the whole text is searched once for each.
class LineEnds {
 public:
  LineEnds(const char* data, std::size_t size)
      : data_(data), size_(size), feed_(Find('\n', 0)), return_(Find('\r', 0)) {}
  /// The end of the line that begins at begin: just after its line feed or
  /// carriage return, or the end of the text.
  std::size_t After(std::size_t begin) {
    if (feed_ < begin) feed_ = Find('\n', begin);
    if (return_ < begin) return_ = Find('\r', begin);
    const std::size_t end = std::min(feed_, return_);
    return end < size_ ? end + 1 : size_;
  }

 private:
  std::size_t Find(char byte, std::size_t from) const {
    const void* found = std::memchr(data_ + from, byte, size_ - from);
    return found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - data_)
                            : size_;
  }
  const char* data_;
  std::size_t size_;
  std::size_t feed_;
  std::size_t return_;
};

// The beginning of the line whose last byte is at end - 1.
std::size_t LineBeginBefore(const char* data, std::size_t end) {
  for (std::size_t begin = end - 1; begin > 0; --begin) {
    const char byte = data[begin - 1];
    if (byte == '\n' || byte == '\r') return begin;
  }
  return 0;
}

struct Mapped {
  unsigned char length;
  char bytes[3];
};

// Each byte read as Windows-1252, in UTF-8, as ICU's converter maps it.
// The code page leaves 0x81, 0x8D, 0x8F, 0x90 and 0x9D undefined; they, and
// U+0000, become U+FFFD.
const std::array<Mapped, 256>& Windows1252() {
  static const std::array<Mapped, 256> table = [] {
    std::array<Mapped, 256> mapped{};
    for (int value = 0; value < 256; ++value) {
      const char byte = static_cast<char>(value);
      std::string utf8 = value < 0x80 ? std::string(1, byte)
                                      : DecodeToUtf8(std::string_view(&byte, 1), "windows-1252");
      // A C1 control is what a converter without the gaps would give for them.
      const bool c1Control = utf8.size() == 2 && utf8[0] == '\xC2' &&
                             static_cast<unsigned char>(utf8[1]) < 0xA0;
      if (value == 0 || utf8.empty() || utf8.size() > 3 || c1Control) utf8 = kReplacement;
      mapped[static_cast<std::size_t>(value)].length = static_cast<unsigned char>(utf8.size());
      std::memcpy(mapped[static_cast<std::size_t>(value)].bytes, utf8.data(), utf8.size());
    }
    return mapped;
  }();
  return table;
}

constexpr uint64_t kHighBits = 0x8080808080808080ULL;
constexpr uint64_t kLowBits = 0x0101010101010101ULL;

// True when [begin, end) is valid UTF-8 (no surrogates, no overlong forms, at
// most U+10FFFF: what U8_NEXT accepts); *nuls counts its zero bytes.
bool IsValidUtf8(const char* begin, const char* end, std::size_t* nuls) {
  const auto* p = reinterpret_cast<const unsigned char*>(begin);
  const auto* stop = reinterpret_cast<const unsigned char*>(end);
  std::size_t zeros = 0;
  while (p < stop) {
    // Logs are mostly ASCII: eight bytes at a time while they are.
    if (stop - p >= 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      if ((word & kHighBits) == 0) {
        if (((word - kLowBits) & ~word & kHighBits) != 0) {
          for (int k = 0; k < 8; ++k) zeros += p[k] == 0 ? 1 : 0;
        }
        p += 8;
        continue;
      }
    }
    const unsigned char lead = *p;
    if (lead < 0x80) {
      zeros += lead == 0 ? 1 : 0;
      ++p;
      continue;
    }
    int trails = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the first trail byte
    if (lead >= 0xC2 && lead <= 0xDF) {
      trails = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      trails = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      trails = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (stop - p <= trails || p[1] < low || p[1] > high) return false;
    for (int k = 2; k <= trails; ++k) {
      if ((p[k] & 0xC0) != 0x80) return false;
    }
    p += trails + 1;
  }
  *nuls = zeros;
  return true;
}

// Calls take(start, length, valid) for each sequence of [begin, end) as the
// repairing read sees it: a valid character, or one ill-formed piece (or
// U+0000) that becomes U+FFFD. The decoding and the size pass share it, so
// they cannot disagree.
template <class Take>
void ForEachRepaired(const char* begin, const char* end, Take take) {
  const auto* data = reinterpret_cast<const uint8_t*>(begin);
  const auto length = static_cast<int32_t>(end - begin);
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 code;
    U8_NEXT(data, i, length, code);
    take(start, i - start, code > 0);
  }
}

// Writes [begin, end), read in mode, to out, which has room for three bytes
// a byte; returns the count written.
std::size_t DecodeBlock(const char* begin, const char* end, Mode mode, char* out) {
  char* put = out;
  switch (mode) {
    case Mode::kValidUtf8:
      for (const char* at = begin; at < end;) {
        const void* zero = std::memchr(at, '\0', static_cast<std::size_t>(end - at));
        const char* stop = zero != nullptr ? static_cast<const char*>(zero) : end;
        std::memcpy(put, at, static_cast<std::size_t>(stop - at));
        put += stop - at;
        if (stop == end) break;
        std::memcpy(put, kReplacement, kReplacementLength);
        put += kReplacementLength;
        at = stop + 1;
      }
      break;
    case Mode::kWindows1252: {
      const std::array<Mapped, 256>& table = Windows1252();
      // Each mapping is copied whole; the write position moves by its length.
      for (const char* at = begin; at < end; ++at) {
        const Mapped& mapped = table[static_cast<unsigned char>(*at)];
        put[0] = mapped.bytes[0];
        put[1] = mapped.bytes[1];
        put[2] = mapped.bytes[2];
        put += mapped.length;
      }
      break;
    }
    case Mode::kRepair:
      ForEachRepaired(begin, end, [&](int32_t start, int32_t length, bool valid) {
        if (valid) {
          std::memcpy(put, begin + start, static_cast<std::size_t>(length));
          put += length;
        } else {
          std::memcpy(put, kReplacement, kReplacementLength);
          put += kReplacementLength;
        }
      });
      break;
  }
  return static_cast<std::size_t>(put - out);
}

// The size of [begin, end) read in mode.
std::size_t DecodedSize(const char* begin, const char* end, Mode mode) {
  std::size_t size = 0;
  switch (mode) {
    case Mode::kValidUtf8:
      size = static_cast<std::size_t>(end - begin);
      for (const char* at = begin; at < end; ++at) size += *at == '\0' ? 2 : 0;
      return size;
    case Mode::kWindows1252: {
      const std::array<Mapped, 256>& table = Windows1252();
      for (const char* at = begin; at < end; ++at) {
        size += table[static_cast<unsigned char>(*at)].length;
      }
      return size;
    }
    case Mode::kRepair:
      ForEachRepaired(begin, end, [&](int32_t, int32_t length, bool valid) {
        size += valid ? static_cast<std::size_t>(length) : kReplacementLength;
      });
      return size;
  }
  return size;
}

// A place at or a little before `at`, not before `lower`, where the text of
// mode can be cut without cutting a sequence: decoding the two parts gives
// what decoding the whole gives. A sequence only ever runs on over trail
// bytes, and never over more than three of them.
std::size_t SafeCut(const char* data, std::size_t at, std::size_t lower, Mode mode) {
  if (mode == Mode::kWindows1252) return at;
  for (std::size_t cut = at; cut > lower; --cut) {
    if (!IsTrail(data[cut])) return cut;
    if (cut >= lower + 3 && IsTrail(data[cut - 1]) && IsTrail(data[cut - 2]) &&
        IsTrail(data[cut - 3])) {
      return cut;
    }
  }
  return lower;
}

// One stretch read in one mode: a line, or the whole text.
struct Stretch {
  std::size_t begin;
  std::size_t end;
  Mode mode;
};

Mode LineMode(const char* data, std::size_t begin, std::size_t end, bool* changed) {
  std::size_t nuls = 0;
  if (IsValidUtf8(data + begin, data + end, &nuls)) {
    if (nuls != 0) *changed = true;
    return Mode::kValidUtf8;
  }
  *changed = true;
  return Mode::kWindows1252;
}

// The decoded size of a stretch, block by block so that U8_NEXT's 32-bit
// offsets never overflow.
std::size_t StretchSize(const char* data, const Stretch& stretch) {
  std::size_t size = 0;
  for (std::size_t from = stretch.begin; from < stretch.end;) {
    std::size_t to = stretch.end;
    if (to - from > kBlock) to = SafeCut(data, from + kBlock, from, stretch.mode);
    size += DecodedSize(data + from, data + to, stretch.mode);
    from = to;
  }
  return size;
}

}  // namespace

bool DecodeUtf8InPlace(std::string& bytes, Utf8Reading reading, std::size_t maxBytes) {
  const char* data = bytes.data();
  const std::size_t size = bytes.size();
  std::size_t total = 0;
  bool changed = false;
  std::size_t nuls = 0;

  // First pass: the decoded size, and whether anything changes at all. Most
  // logs are valid UTF-8 throughout, so the whole text is checked first.
  if (IsValidUtf8(data, data + size, &nuls)) {
    total = size + 2 * nuls;
    changed = nuls != 0;
  } else if (reading == Utf8Reading::kStrict) {
    total = StretchSize(data, {0, size, Mode::kRepair});
    changed = true;
  } else {
    LineEnds lineEnds(data, size);
    for (std::size_t begin = 0; begin < size && total <= maxBytes;) {
      const std::size_t end = lineEnds.After(begin);
      const Mode mode = LineMode(data, begin, end, &changed);
      total += StretchSize(data, {begin, end, mode});
      begin = end;
    }
  }
  if (total > maxBytes) return false;
  if (!changed) return true;

  // Second pass, from the end: each block is decoded into a small buffer and
  // put at its final place. The decoded text of what comes before a place is
  // never shorter than those bytes, so no block lands on bytes not yet read.
  bytes.resize(total);
  char* text = bytes.data();
  // Room for a block (64 KiB, or the whole text when it is shorter) plus the
  // few bytes a cut may move back, three bytes out for each byte in.
  const std::unique_ptr<char[]> block(new char[3 * (std::min(kBlock, size) + 4)]);
  std::size_t writeEnd = total;
  for (std::size_t readEnd = size; readEnd > 0;) {
    Stretch stretch{0, readEnd, Mode::kRepair};
    if (reading == Utf8Reading::kLineByLineOrWindows1252) {
      const std::size_t begin = LineBeginBefore(text, readEnd);
      bool ignored = false;
      stretch = {begin, readEnd, LineMode(text, begin, readEnd, &ignored)};
    }
    for (std::size_t blockEnd = stretch.end; blockEnd > stretch.begin;) {
      std::size_t blockBegin = stretch.begin;
      if (blockEnd - stretch.begin > kBlock) {
        blockBegin = SafeCut(text, blockEnd - kBlock, stretch.begin, stretch.mode);
      }
      const std::size_t decoded =
          DecodeBlock(text + blockBegin, text + blockEnd, stretch.mode, block.get());
      // The two passes must agree; never write over bytes not yet read.
      if (decoded > writeEnd || writeEnd - decoded < blockBegin) {
        throw std::logic_error("in-place decoding lost its place");
      }
      writeEnd -= decoded;
      std::memcpy(text + writeEnd, block.get(), decoded);
      blockEnd = blockBegin;
    }
    readEnd = stretch.begin;
  }
  return true;
}
