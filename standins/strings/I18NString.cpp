// I18NString: UTF-8 text in a shared buffer, positions in code points.
#include "I18NString.h"

#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <climits>
#include <cwchar>

#include "PYLException.h"
#include "encoding.h"
#include "utf8_text.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t code) {
  char buffer[4];
  int32_t length = 0;
  UBool error = false;
  U8_APPEND(reinterpret_cast<uint8_t*>(buffer), length, 4, code, error);
  if (error) {
    length = 0;
    U8_APPEND_UNSAFE(reinterpret_cast<uint8_t*>(buffer), length, kReplacement);
  }
  out.append(buffer, static_cast<std::size_t>(length));
}

// Positions are ints: a text holds at most 1 GiB.
bool TooLarge(std::size_t bytes) { return bytes > static_cast<std::size_t>(INT_MAX / 2); }

constexpr char kTooLarge[] = "The text is too large: more than 1 GiB is not supported.";

}  // namespace

const char* I18NGetPlatformDefaultEncoding() { return "UTF-8"; }

I18NString::I18NString() = default;

I18NString::I18NString(const char* text, const char* encoding, int length,
                       void* /*converter*/, void* /*context*/) {
  if (text == nullptr) return;
  if (encoding != nullptr && IsUcs2EncodingName(encoding)) {
    *this = I18NString(reinterpret_cast<const char16_t*>(text), length);
    return;
  }
  std::string_view bytes =
      length < 0 ? std::string_view(text) : std::string_view(text, length);
  if (encoding == nullptr || IsUtf8EncodingName(encoding)) {
    *this = FromUtf8(bytes);
  } else {
    *this = FromValidUtf8(DecodeToUtf8(bytes, encoding));
  }
}

I18NString::I18NString(const char16_t* units, int length, void*, void*) {
  if (units == nullptr) return;
  int32_t count = length;
  if (count < 0) {
    count = 0;
    while (units[count] != 0) ++count;
  }
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(count));
  for (int32_t i = 0; i < count;) {
    UChar32 c;
    U16_NEXT(units, i, count, c);
    AppendUtf8(bytes, U_IS_SURROGATE(c) ? kReplacement : static_cast<char32_t>(c));
  }
  *this = FromValidUtf8(std::move(bytes));
}

I18NString::I18NString(const wchar_t* text, int length) {
  if (text == nullptr) return;
  std::size_t count = length < 0 ? std::wcslen(text) : static_cast<std::size_t>(length);
  if constexpr (sizeof(wchar_t) == 2) {
    *this = I18NString(reinterpret_cast<const char16_t*>(text), static_cast<int>(count));
  } else {
    std::string bytes;
    bytes.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      auto code = static_cast<char32_t>(text[i]);
      AppendUtf8(bytes, (code > 0x10FFFF || U_IS_SURROGATE(code)) ? kReplacement : code);
    }
    *this = FromValidUtf8(std::move(bytes));
  }
}

I18NString I18NString::FromUtf8(std::string_view bytes) {
  if (TooLarge(bytes.size())) PYL_RAISE(kQamInputError, I18NString(kTooLarge));
  return FromValidUtf8(IsValidUtf8(bytes) ? std::string(bytes) : RepairUtf8(bytes));
}

I18NString I18NString::FromUtf8(std::string&& bytes) {
  if (TooLarge(bytes.size())) PYL_RAISE(kQamInputError, I18NString(kTooLarge));
  if (IsValidUtf8(bytes)) return FromValidUtf8(std::move(bytes));
  return FromValidUtf8(RepairUtf8(bytes));
}

I18NString I18NString::FromValidUtf8(std::string bytes) {
  I18NString result;
  if (bytes.empty()) return result;
  if (TooLarge(bytes.size())) PYL_RAISE(kQamInputError, I18NString(kTooLarge));
  const int chars = static_cast<int>(CountUtf8Chars(bytes));
  auto rep = std::make_shared<Rep>();
  rep->bytes = std::move(bytes);
  result.byteLen_ = rep->bytes.size();
  result.cpLen_ = chars;
  result.rep_ = std::move(rep);
  return result;
}

I18NString& I18NString::operator=(const char* text) {
  *this = I18NString(text);
  return *this;
}

void I18NString::ExtendMarks(int chars, std::size_t bytes) const {
  Rep& rep = *rep_;
  const std::string& text = rep.bytes;
  const std::size_t size = text.size();
  std::size_t at = rep.markedBytes;
  int marked = rep.markedChars;
  while ((marked <= chars || at <= bytes) && at < size) {
    if (marked % kMarkStep == 0) rep.marks.push_back(static_cast<uint32_t>(at));
    // Up to the next mark, eight bytes at a time while the characters that
    // begin in them (the bytes that are no trail bytes) come before it, each
    // word with the trail bytes after it that end its last character.
    const int nextMark = (marked / kMarkStep + 1) * kMarkStep;
    while (marked < nextMark && at < size) {
      if (size - at >= 8) {
        const int inWord = 8 - byte_scan::CountTrailBytes(byte_scan::Load(text.data() + at));
        if (marked + inWord <= nextMark) {
          at += 8;
          while (at < size && IsUtf8Trail(text[at])) ++at;
          marked += inWord;
          continue;
        }
      }
      at += Utf8SequenceLength(text[at]);
      ++marked;
    }
  }
  rep.markedBytes = at;
  rep.markedChars = marked;
}

std::size_t I18NString::ByteAt(int position) const {
  if (byteLen_ == static_cast<std::size_t>(cpLen_)) {
    return byteBegin_ + static_cast<std::size_t>(position);
  }
  const Rep& rep = *rep_;
  int target = charBegin_ + position;
  ExtendMarks(target, 0);
  if (target >= rep.markedChars) return rep.bytes.size();
  auto index = static_cast<std::size_t>(target / kMarkStep);
  std::size_t offset = rep.marks[index];
  for (int i = static_cast<int>(index) * kMarkStep; i < target; ++i) {
    offset += Utf8SequenceLength(rep.bytes[offset]);
  }
  return offset;
}

int I18NString::CharAtByte(std::size_t offset) const {
  const Rep& rep = *rep_;
  ExtendMarks(0, offset);
  // The last mark at or before offset, then the characters from it.
  auto after = std::upper_bound(rep.marks.begin(), rep.marks.end(), offset);
  auto index = static_cast<std::size_t>(after - rep.marks.begin()) - 1;
  return static_cast<int>(index) * kMarkStep + CountChars(rep.marks[index], offset);
}

int I18NString::CountChars(std::size_t from, std::size_t to) const {
  return static_cast<int>(CountUtf8Chars(std::string_view(rep_->bytes.data() + from, to - from)));
}

int I18NString::find(const I18NString& pattern, int start) const {
  if (start == -1) start = 0;
  if (start < 0 || start > cpLen_ || !rep_) return pattern.empty() && start == 0 ? 0 : -1;
  std::size_t from = ByteAt(start);
  std::string_view text = utf8();
  std::size_t hit = text.find(pattern.utf8(), from - byteBegin_);
  if (hit == std::string_view::npos) return -1;
  if (byteLen_ == static_cast<std::size_t>(cpLen_)) return static_cast<int>(hit);
  return start + CountChars(from, byteBegin_ + hit);
}

int I18NString::find(const char* pattern, int start) const {
  return find(I18NString(pattern), start);
}

int I18NString::find(char32_t code, int start) const {
  std::string bytes;
  AppendUtf8(bytes, code);
  return find(FromValidUtf8(std::move(bytes)), start);
}

I18NString I18NString::Slice(int start, int end) const {
  start = std::clamp(start, 0, cpLen_);
  end = std::clamp(end, start, cpLen_);
  I18NString result;
  if (start == end) return result;
  if (start == 0 && end == cpLen_) return *this;
  std::size_t from = ByteAt(start);
  std::size_t to = ByteAt(end);
  result.rep_ = rep_;
  result.byteBegin_ = from;
  result.byteLen_ = to - from;
  result.charBegin_ = charBegin_ + start;
  result.cpLen_ = end - start;
  return result;
}

I18NString I18NString::SliceUtf8(std::size_t from, std::size_t to) const {
  to = std::min(to, byteLen_);
  from = std::min(from, to);
  I18NString result;
  if (from == to) return result;
  result.rep_ = rep_;
  result.byteBegin_ = byteBegin_ + from;
  result.byteLen_ = to - from;
  if (byteLen_ == static_cast<std::size_t>(cpLen_)) {
    result.charBegin_ = charBegin_ + static_cast<int>(from);
    result.cpLen_ = static_cast<int>(to - from);
  } else if (result.byteLen_ <= kShortSlice) {
    // A short slice counts its own characters. An ASCII one finds them by
    // position alone and needs no place among the rep's characters.
    result.cpLen_ = CountChars(result.byteBegin_, byteBegin_ + to);
    if (static_cast<std::size_t>(result.cpLen_) != result.byteLen_) {
      result.charBegin_ = CharAtByte(result.byteBegin_);
    }
  } else {
    result.charBegin_ = CharAtByte(result.byteBegin_);
    result.cpLen_ = CharAtByte(byteBegin_ + to) - result.charBegin_;
  }
  return result;
}

I18NString I18NString::substr(int start, int count) const {
  if (count == -1) return Slice(start, cpLen_);
  if (count < 0) return I18NString();
  start = std::clamp(start, 0, cpLen_);
  long long end = static_cast<long long>(start) + count;
  return Slice(start, static_cast<int>(std::min<long long>(end, cpLen_)));
}

I18NString I18NString::substring(int start, int end) const {
  if (end == -1) end = cpLen_;
  if (end < start) return I18NString();
  return Slice(start, end);
}

I18NString& I18NString::erase(int start, int count) {
  start = std::clamp(start, 0, cpLen_);
  int end = (count < 0 || count > cpLen_ - start) ? cpLen_ : start + count;
  if (end == cpLen_) {
    *this = Slice(0, start);
  } else if (start == 0) {
    *this = Slice(end, cpLen_);
  } else {
    I18NString tail = Slice(end, cpLen_);
    *this = Slice(0, start);
    *this += tail;
  }
  return *this;
}

I18NString& I18NString::trimTrailing(char32_t code) {
  if (code < 0x80) {
    std::string_view text = utf8();
    std::size_t keep = text.size();
    while (keep > 0 && static_cast<unsigned char>(text[keep - 1]) == code) --keep;
    *this = Slice(0, cpLen_ - static_cast<int>(text.size() - keep));
    return *this;
  }
  int end = cpLen_;
  while (end > 0 && charAt(end - 1) == code) --end;
  *this = Slice(0, end);
  return *this;
}

int I18NString::size() const {
  // A character beyond the BMP (a four-byte sequence) takes two units.
  int units = cpLen_;
  if (byteLen_ != static_cast<std::size_t>(cpLen_)) {
    for (unsigned char c : utf8()) units += c >= 0xF0 ? 1 : 0;
  }
  return units;
}

char32_t I18NString::charAt(int position) const {
  if (position < 0 || position >= cpLen_) return 0;
  std::size_t at = ByteAt(position);
  const auto* data = reinterpret_cast<const uint8_t*>(rep_->bytes.data());
  UChar32 c;
  U8_GET_UNSAFE(data, at, c);
  return static_cast<char32_t>(c);
}

void I18NString::PrepareAppend(std::size_t extra) {
  if (rep_ && rep_.use_count() == 1 && byteBegin_ == 0) {
    Rep& rep = *rep_;
    if (rep.bytes.size() != byteLen_) {
      rep.bytes.resize(byteLen_);
      rep.marks.clear();
      rep.markedBytes = 0;
      rep.markedChars = 0;
    }
    return;
  }
  auto rep = std::make_shared<Rep>();
  rep->bytes.reserve(byteLen_ + extra);
  rep->bytes.assign(utf8());
  rep_ = std::move(rep);
  byteBegin_ = 0;
  charBegin_ = 0;
}

void I18NString::Append(std::string_view validUtf8) {
  if (validUtf8.empty()) return;
  if (TooLarge(byteLen_ + validUtf8.size())) {
    PYL_RAISE(kQamInputError, I18NString(kTooLarge));
  }
  const int chars = static_cast<int>(CountUtf8Chars(validUtf8));
  // validUtf8 may lie in our own buffer, which PrepareAppend may cut or replace.
  std::string copy(validUtf8);
  PrepareAppend(copy.size());
  rep_->bytes.append(copy);
  byteLen_ = rep_->bytes.size();
  cpLen_ += chars;
}

I18NString& I18NString::operator+=(const I18NString& other) {
  Append(other.utf8());
  return *this;
}

I18NString& I18NString::operator+=(const char* text) {
  return *this += I18NString(text);
}

I18NString& I18NString::operator+=(char32_t code) {
  std::string bytes;
  AppendUtf8(bytes, code);
  Append(bytes);
  return *this;
}

std::u16string I18NString::toUtf16() const {
  std::u16string units;
  units.reserve(static_cast<std::size_t>(size()));
  const auto* data = reinterpret_cast<const uint8_t*>(utf8().data());
  auto total = static_cast<int32_t>(byteLen_);
  for (int32_t i = 0; i < total;) {
    UChar32 c;
    U8_NEXT_UNSAFE(data, i, c);
    if (c > 0xFFFF) {
      units.push_back(static_cast<char16_t>(U16_LEAD(c)));
      units.push_back(static_cast<char16_t>(U16_TRAIL(c)));
    } else {
      units.push_back(static_cast<char16_t>(c));
    }
  }
  return units;
}

std::wstring I18NString::toWide() const {
  if constexpr (sizeof(wchar_t) == 2) {
    std::u16string units = toUtf16();
    return std::wstring(units.begin(), units.end());
  } else {
    std::wstring text;
    text.reserve(static_cast<std::size_t>(cpLen_));
    const auto* data = reinterpret_cast<const uint8_t*>(utf8().data());
    auto total = static_cast<int32_t>(byteLen_);
    for (int32_t i = 0; i < total;) {
      UChar32 c;
      U8_NEXT_UNSAFE(data, i, c);
      text.push_back(static_cast<wchar_t>(c));
    }
    return text;
  }
}

I18NString operator+(const I18NString& left, const I18NString& right) {
  I18NString result(left);
  result += right;
  return result;
}

I18NString operator+(const I18NString& left, char32_t code) {
  I18NString result(left);
  result += code;
  return result;
}
