// The UTF-8 module: validation, repair, counting and the decoding of
// captured text, for every layer. It stands below every other: it uses
// nothing of ours, and Windows-1252 is a table here, not a converter.
#include "utf8_text.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::size_t kReplacementLength = 3;

// The length of the piece at data (left bytes on) as U8_NEXT reads it, and
// whether it is a well-formed character. U8_NEXT counts in 32 bits: it is
// given the four bytes a character takes at most.
inline std::size_t NextPiece(const char* data, std::size_t left, bool* valid) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(data);
  // ASCII, and the bytes that never begin a sequence, are pieces of their own.
  if (bytes[0] < 0xC2 || bytes[0] > 0xF4) {
    *valid = bytes[0] < 0x80;
    return 1;
  }
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
    take(std::string_view(bytes.data() + at, length), valid);
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

struct Mapped {
  unsigned char length;
  char bytes[3];
};

// Windows-1252 is Latin-1 but for 0x80..0x9F, where it puts these code
// points. The code page leaves 0x81, 0x8D, 0x8F, 0x90 and 0x9D undefined:
// ICU's converter gives the C1 controls there, and they read as U+FFFD.
constexpr char32_t kWindows1252From80[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,  // 0x88
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,  // 0x98
};

// Each byte read as Windows-1252, in UTF-8; U+0000 becomes U+FFFD.
constexpr std::array<Mapped, 256> MakeWindows1252() {
  std::array<Mapped, 256> mapped{};
  for (int value = 0; value < 256; ++value) {
    char32_t code = static_cast<char32_t>(value);
    if (value == 0) code = 0xFFFD;
    if (value >= 0x80 && value < 0xA0) code = kWindows1252From80[value - 0x80];
    Mapped& put = mapped[static_cast<std::size_t>(value)];
    if (code < 0x80) {
      put.length = 1;
      put.bytes[0] = static_cast<char>(code);
    } else if (code < 0x800) {
      put.length = 2;
      put.bytes[0] = static_cast<char>(0xC0 | (code >> 6));
      put.bytes[1] = static_cast<char>(0x80 | (code & 0x3F));
    } else {
      put.length = 3;
      put.bytes[0] = static_cast<char>(0xE0 | (code >> 12));
      put.bytes[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      put.bytes[2] = static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return mapped;
}
constexpr std::array<Mapped, 256> kWindows1252 = MakeWindows1252();

// Where the decoding puts its bytes: nowhere in the first pass, which only
// counts them, and into the text's own buffer in the second. What it puts
// may come from that buffer, but never from before the write position.
class Output {
 public:
  Output() = default;
  Output(char* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) {}

  void PutRun(const char* bytes, std::size_t length) {
    if (Room(length)) std::memmove(buffer_ + size_, bytes, length);
    size_ += length;
  }
  // A character: at most four bytes, copied forward one by one.
  void PutPiece(const char* bytes, std::size_t length) {
    if (Room(length)) {
      char* put = buffer_ + size_;
      put[0] = bytes[0];
      if (length > 1) put[1] = bytes[1];
      if (length > 2) put[2] = bytes[2];
      if (length > 3) put[3] = bytes[3];
    }
    size_ += length;
  }
  std::size_t size() const { return size_; }

 private:
  // True when writing; the two passes agree, so the buffer is never short.
  bool Room(std::size_t length) const {
    if (buffer_ == nullptr) return false;
    if (capacity_ - size_ < length) throw std::logic_error("in-place decoding lost its place");
    return true;
  }

  char* buffer_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

// Just after the first line feed or carriage return at or after from, or
// the end of the text.
std::size_t PastLineEnd(std::string_view text, std::size_t from) {
  std::size_t at = from;
  while (text.size() - at >= 8) {
    const uint64_t word = byte_scan::Load(text.data() + at);
    if ((byte_scan::HasByte(word, '\n') | byte_scan::HasByte(word, '\r')) != 0) break;
    at += 8;
  }
  for (; at < text.size(); ++at) {
    if (text[at] == '\n' || text[at] == '\r') return at + 1;
  }
  return text.size();
}

// A stretch of the text: well-formed lines, kept but for their U+0000, then
// the line that holds the first ill-formed piece after them, read as the
// reading says.
struct Stretch {
  std::size_t validEnd;  // [begin, validEnd) is well-formed
  std::size_t nuls;      // U+0000 in it
  std::size_t end;       // [validEnd, end) is the ill-formed line, if any
};

Stretch NextStretch(std::string_view text, std::size_t begin) {
  const Utf8Check check = CheckUtf8(text.substr(begin));
  const std::size_t bad = begin + check.validBytes;
  if (bad == text.size()) return {bad, check.nuls, bad};
  // No sequence runs over a line feed or a carriage return (both ASCII):
  // the ill-formed piece's line begins after the last one before it.
  std::size_t lineBegin = bad;
  while (lineBegin > begin && text[lineBegin - 1] != '\n' && text[lineBegin - 1] != '\r') {
    --lineBegin;
  }
  const auto lineNuls = static_cast<std::size_t>(
      std::count(text.begin() + lineBegin, text.begin() + bad, '\0'));
  return {lineBegin, check.nuls - lineNuls, PastLineEnd(text, bad)};
}

// Puts the stretch from begin: its well-formed lines, then its ill-formed line.
void PutStretch(std::string_view text, std::size_t begin, const Stretch& stretch,
                Utf8Reading reading, Output& out) {
  const std::string_view valid = text.substr(begin, stretch.validEnd - begin);
  if (stretch.nuls == 0) {
    out.PutRun(valid.data(), valid.size());
  } else {
    for (const char& byte : valid) {
      if (byte == '\0') {
        out.PutPiece(kReplacement, kReplacementLength);
      } else {
        out.PutPiece(&byte, 1);
      }
    }
  }
  const std::string_view line = text.substr(stretch.validEnd, stretch.end - stretch.validEnd);
  if (reading == Utf8Reading::kStrict) {
    ForEachPiece(line, [&](std::string_view piece, bool wellFormed) {
      if (wellFormed && piece[0] != '\0') {
        out.PutPiece(piece.data(), piece.size());
      } else {
        out.PutPiece(kReplacement, kReplacementLength);
      }
    });
  } else {
    for (const char byte : line) {
      const Mapped& mapped = kWindows1252[static_cast<unsigned char>(byte)];
      out.PutPiece(mapped.bytes, mapped.length);
    }
  }
}

}  // namespace

bool DecodeUtf8InPlace(std::string& bytes, Utf8Reading reading, std::size_t maxBytes) {
  const std::size_t size = bytes.size();
  // First pass: the decoded size, and whether anything changes at all. Most
  // logs are valid UTF-8 throughout: one stretch, checked once.
  Output counted;
  bool changed = false;
  for (std::size_t begin = 0; begin < size && counted.size() <= maxBytes;) {
    const Stretch stretch = NextStretch(bytes, begin);
    changed = changed || stretch.nuls != 0 || stretch.end != stretch.validEnd;
    PutStretch(bytes, begin, stretch, reading, counted);
    begin = stretch.end;
  }
  if (counted.size() > maxBytes) return false;
  if (!changed) return true;

  // Second pass: the bytes move to the end of a buffer of the decoded size,
  // and are read from there front to back while their decoding is written
  // from the buffer's start. No piece decodes to fewer bytes than it takes,
  // so the writing never passes the reading.
  const std::size_t total = counted.size();
  const std::size_t shift = total - size;
  bytes.insert(0, shift, '\0');
  const std::string_view text(bytes.data() + shift, size);
  Output written(bytes.data(), total);
  for (std::size_t begin = 0; begin < size;) {
    const Stretch stretch = NextStretch(text, begin);
    PutStretch(text, begin, stretch, reading, written);
    if (written.size() > shift + stretch.end) {
      throw std::logic_error("in-place decoding lost its place");
    }
    begin = stretch.end;
  }
  if (written.size() != total) throw std::logic_error("in-place decoding lost its place");
  return true;
}
