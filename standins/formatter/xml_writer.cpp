#include "xml_writer.h"

#include <unicode/utf16.h>
#include <unicode/utf8.h>
#include <xercesc/framework/XMLFormatter.hpp>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>

#include "QamFormatter.h"
#include "utf8_text.h"

using xercesc::XMLFormatter;

bool IsXmlChar(char32_t code) {
  // Char ::= #x9 | #xA | #xD | [#x20-#xD7FF] | [#xE000-#xFFFD] | [#x10000-#x10FFFF]
  return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
         (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

namespace {

// Collects the UTF-8 bytes in a string that the finished document then
// takes over without a copy.
class StringFormatTarget : public xercesc::XMLFormatTarget {
 public:
  void writeChars(const XMLByte* const toWrite, const XMLSize_t count,
                  XMLFormatter* const /*formatter*/) override {
    bytes.append(reinterpret_cast<const char*>(toWrite), count);
  }
  std::string bytes;
};

// True when eight bytes are printable ASCII other than &, < and >: each
// goes to the formatter as the unit of the same value, needing no escape.
inline bool PlainAscii(uint64_t word) {
  using namespace byte_scan;
  return HasNonAscii(word) == 0 &&
         (HasAsciiBelow(word, 0x20) | HasByte(word, '&') | HasByte(word, '<') |
          HasByte(word, '>')) == 0;
}

// For every byte: true when it is printable ASCII other than &, < and >.
struct PlainBytes {
  bool plain[256] = {};
  constexpr PlainBytes() {
    for (int byte = 0x20; byte < 0x80; ++byte) {
      plain[byte] = byte != '&' && byte != '<' && byte != '>';
    }
  }
};
constexpr PlainBytes kPlainBytes;

struct Entity {
  std::string_view reference;
  char16_t character;
};
constexpr Entity kEntities[] = {{"&amp;", u'&'}, {"&lt;", u'<'}, {"&gt;", u'>'},
                                {"&quot;", u'"'}, {"&apos;", u'\''}};

}  // namespace

// The formatter's cost is per call and per character it looks at. Every
// unit that needs no escape (markup, and the text of values between the
// characters that element content escapes) is gathered in one buffer and
// handed over in large pieces without escaping; each &, <, > and carriage
// return of a value goes to the formatter alone, with element-content
// escaping, which writes its reference. A value's characters are checked
// once, on their way to UTF-16; the finished document is not checked again.
struct QamXmlWriter::Impl {
  // A piece of about this many units is one transcoding pass of the
  // formatter (its buffer holds 16 KiB).
  static constexpr std::size_t kFlushUnits = 16 * 1024;

  StringFormatTarget target;
  XMLFormatter formatter{"UTF-8", &target, XMLFormatter::NoEscapes,
                         XMLFormatter::UnRep_Replace};
  // The units not yet handed to the formatter; not zero-filled when grown.
  std::unique_ptr<char16_t[]> pending;
  std::size_t pendingSize = 0;
  std::size_t pendingCapacity = 0;

  char16_t* Reserve(std::size_t extra) {
    if (pendingCapacity - pendingSize < extra) {
      std::size_t capacity = std::max(pendingCapacity * 2, pendingSize + extra);
      std::unique_ptr<char16_t[]> grown(new char16_t[capacity]);  // not zero-filled
      std::copy(pending.get(), pending.get() + pendingSize, grown.get());
      pending = std::move(grown);
      pendingCapacity = capacity;
    }
    return pending.get() + pendingSize;
  }

  void Append(std::u16string_view units) {
    std::copy(units.begin(), units.end(), Reserve(units.size()));
    pendingSize += units.size();
  }

  void Flush() {
    if (pendingSize == 0) return;
    formatter.formatBuf(pending.get(), pendingSize, XMLFormatter::NoEscapes);
    pendingSize = 0;
  }

  // One character that element content escapes: the formatter writes &amp;,
  // &lt;, &gt; or, for a carriage return, the character reference that a
  // parser keeps (a literal one it would read as a line feed).
  void Escaped(char16_t character) {
    Flush();
    formatter.formatBuf(&character, 1, XMLFormatter::CharEscapes);
  }

  // The text of a value: characters that XML 1.0 cannot carry become
  // U+FFFD and, when unescape is set, the five entity references of
  // EscapeDOMChars become their characters again. Runs of plain ASCII,
  // most of a log, are widened eight bytes at a time.
  void WriteValue(std::string_view utf8, bool unescape) {
    // A UTF-8 text never has more UTF-16 units than bytes.
    char16_t* put = Reserve(utf8.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    const std::size_t length = utf8.size();
    std::size_t i = 0;
    while (i < length) {
      std::size_t stop = length;
      if (i + 8 <= length) {
        if (PlainAscii(byte_scan::Load(bytes + i))) {
          for (int k = 0; k < 8; ++k) put[k] = bytes[i + k];
          put += 8;
          i += 8;
          continue;
        }
        stop = i + 8;
      }
      // The word holds something else: take it character by character.
      while (i < stop) {
        uint8_t byte = bytes[i];
        if (kPlainBytes.plain[byte]) {
          *put++ = byte;
          ++i;
          continue;
        }
        char16_t character = byte;
        std::size_t width = 1;
        if (byte == '&' && unescape) {
          for (const Entity& entity : kEntities) {
            if (utf8.compare(i, entity.reference.size(), entity.reference) == 0) {
              character = entity.character;
              width = entity.reference.size();
              break;
            }
          }
        }
        if (character == u'&' || character == u'<' || character == u'>' || character == u'\r') {
          pendingSize = static_cast<std::size_t>(put - pending.get());
          Escaped(character);
          // The buffer is empty now and still holds room for the rest.
          put = pending.get();
          i += width;
          continue;
        }
        if (width > 1) {  // &quot; or &apos;
          *put++ = character;
          i += width;
          continue;
        }
        UChar32 c;
        U8_NEXT_UNSAFE(bytes, i, c);
        if (c > 0xFFFF) {
          *put++ = static_cast<char16_t>(U16_LEAD(c));
          *put++ = static_cast<char16_t>(U16_TRAIL(c));
        } else {
          *put++ = IsXmlChar(static_cast<char32_t>(c)) ? static_cast<char16_t>(c)
                                                       : char16_t{0xFFFD};
        }
      }
    }
    pendingSize = static_cast<std::size_t>(put - pending.get());
    if (pendingSize >= kFlushUnits) Flush();
  }
};

QamXmlWriter::QamXmlWriter() : impl_(std::make_unique<Impl>()) {
  std::u16string declaration = QamFormatterUtility::GetXmlVersionTag().toUtf16();
  Markup(declaration.c_str());
  Markup(u"<QAM_DOC>");
}

QamXmlWriter::~QamXmlWriter() = default;

void QamXmlWriter::Reserve(std::size_t bytes) { impl_->target.bytes.reserve(bytes); }

void QamXmlWriter::Markup(const char16_t* markup) { impl_->Append(markup); }

void QamXmlWriter::Text(const I18NString& value) { impl_->WriteValue(value.utf8(), false); }

void QamXmlWriter::EscapedText(const I18NString& value) {
  impl_->WriteValue(value.utf8(), true);
}

void QamXmlWriter::Element(const char16_t* name, const I18NString& value) {
  impl_->Append(u"<");
  impl_->Append(name);
  impl_->Append(u">");
  Text(value);
  impl_->Append(u"</");
  impl_->Append(name);
  impl_->Append(u">");
}

void QamXmlWriter::Element(const char16_t* name, bool value) {
  impl_->Append(u"<");
  impl_->Append(name);
  impl_->Append(value ? u">TRUE</" : u">FALSE</");
  impl_->Append(name);
  impl_->Append(u">");
}

I18NString QamXmlWriter::Finish() {
  Markup(u"</QAM_DOC>");
  impl_->Flush();
  // The formatter's UTF-8 transcoder writes well-formed UTF-8 of the
  // well-formed UTF-16 it was given.
  return I18NString::FromValidUtf8(std::move(impl_->target.bytes));
}
