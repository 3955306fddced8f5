// The UTF-8 module: validation, repair, counting and the decoding of
// captured text, for every layer.
#include "utf8_text.h"

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

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::size_t kReplacementLength = 3;

// The length of the piece at data (left bytes on) as U8_NEXT reads it, and
// whether it is a well-formed character. U8_NEXT counts in 32 bits: it is
// given the four bytes a character takes at most.
std::size_t NextPiece(const char* data, std::size_t left, bool* valid) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(data);
  const auto length = static_cast<int32_t>(std::min<std::size_t>(left, 4));
  int32_t at = 0;
  UChar32 code;
  U8_NEXT(bytes, at, length, code);
  *valid = code >= 0;
  return static_cast<std::size_t>(at);
}

// Calls take(piece, valid) for each piece of bytes: a well-formed character,
// or one ill-formed piece, which the repair turns into U+FFFD.
template <class Take>
void ForEachPiece(std::string_view bytes, Take take) {
  for (std::size_t at = 0; at < bytes.size();) {
    bool valid = false;
    const std::size_t length = NextPiece(bytes.data() + at, bytes.size() - at, &valid);
    take(bytes.substr(at, length), valid);
    at += length;
  }
}

}  // namespace

Utf8Check CheckUtf8(std::string_view bytes) {
  const char* data = bytes.data();
  const std::size_t size = bytes.size();
  std::size_t nuls = 0;
  std::size_t at = 0;
  while (at < size) {
    // Eight bytes at a time while they are ASCII.
    if (size - at >= 8) {
      const uint64_t word = byte_scan::Load(data + at);
      if (byte_scan::HasNonAscii(word) == 0) {
        if (byte_scan::HasByte(word, 0) != 0) {
          nuls += static_cast<std::size_t>(std::count(data + at, data + at + 8, '\0'));
        }
        at += 8;
        continue;
      }
    }
    if (static_cast<unsigned char>(data[at]) < 0x80) {
      nuls += data[at] == '\0' ? 1 : 0;
      ++at;
      continue;
    }
    bool valid = false;
    const std::size_t length = NextPiece(data + at, size - at, &valid);
    if (!valid) break;
    at += length;
  }
  return {at, nuls};
}

std::size_t CountUtf8Chars(std::string_view utf8) {
  // Every byte that is not a trail byte begins a character. One flag bit
  // per trail byte, added up in eight byte lanes for up to 255 words, then
  // the lanes added up.
  std::size_t trails = 0;
  std::size_t i = 0;
  const std::size_t words = utf8.size() / 8 * 8;
  while (i < words) {
    const std::size_t stop = std::min(words, i + 8 * 255);
    uint64_t lanes = 0;
    for (; i < stop; i += 8) lanes += byte_scan::TrailBits(byte_scan::Load(utf8.data() + i)) >> 7;
    uint64_t pairs = (lanes & 0x00FF00FF00FF00FFULL) + ((lanes >> 8) & 0x00FF00FF00FF00FFULL);
    trails += static_cast<std::size_t>((pairs * 0x0001000100010001ULL) >> 48);
  }
  for (; i < utf8.size(); ++i) trails += IsUtf8Trail(utf8[i]) ? 1 : 0;
  return utf8.size() - trails;
}

std::string RepairUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  ForEachPiece(bytes, [&](std::string_view piece, bool valid) {
    if (valid) {
      out.append(piece);
    } else {
      out.append(kReplacement, kReplacementLength);
    }
  });
  return out;
}

namespace {

// Decoding goes block by block, so that a 1 GB line needs no second buffer
// of its size: 64 KiB in, at most three times that out.
constexpr std::size_t kBlock = 64 * 1024;

// How one stretch of the text is read.
enum class Mode {
  kValidUtf8,    // known to be valid: only U+0000 changes
  kWindows1252,  // every byte through the code page
  kRepair,       // ill-formed sequences become U+FFFD
};

inline bool IsUtf8Trail(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }
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
      ForEachPiece(std::string_view(begin, static_cast<std::size_t>(end - begin)),
                   [&](std::string_view piece, bool valid) {
        if (valid && piece[0] != '\0') {
          std::memcpy(put, piece.data(), piece.size());
          put += piece.size();
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
      ForEachPiece(std::string_view(begin, static_cast<std::size_t>(end - begin)),
                   [&](std::string_view piece, bool valid) {
        size += valid && piece[0] != '\0' ? piece.size() : kReplacementLength;
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
    if (!IsUtf8Trail(data[cut])) return cut;
    if (cut >= lower + 3 && IsUtf8Trail(data[cut - 1]) && IsUtf8Trail(data[cut - 2]) &&
        IsUtf8Trail(data[cut - 3])) {
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
  const std::string_view line(data + begin, end - begin);
  const Utf8Check check = CheckUtf8(line);
  if (check.validBytes == line.size()) {
    if (check.nuls != 0) *changed = true;
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

  // First pass: the decoded size, and whether anything changes at all. Most
  // logs are valid UTF-8 throughout, so the whole text is checked first.
  const Utf8Check whole = CheckUtf8(bytes);
  if (whole.validBytes == size) {
    total = size + 2 * whole.nuls;
    changed = whole.nuls != 0;
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
