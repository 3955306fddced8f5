#include "xml_writer.h"

#include <unicode/utf8.h>
#include <xercesc/framework/XMLFormatter.hpp>

#include <cstdint>
#include <memory>
#include <string_view>

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

// True when eight bytes are printable ASCII other than &, < and >: the
// formatter would write each as the same byte, needing no escape.
inline bool PlainAscii(uint64_t word) {
  using namespace byte_scan;
  return HasNonAscii(word) == 0 &&
         (HasAsciiBelow(word, 0x20) | HasByte(word, '&') | HasByte(word, '<') |
          HasByte(word, '>')) == 0;
}

// For every byte: true when it is ASCII that the formatter writes as it is
// (printable, tab or line feed, other than &, < and >).
struct PlainBytes {
  bool plain[256] = {};
  constexpr PlainBytes() {
    for (int byte = 0x20; byte < 0x80; ++byte) {
      plain[byte] = byte != '&' && byte != '<' && byte != '>';
    }
    plain[0x09] = plain[0x0A] = true;  // tab and line feed
  }
};
constexpr PlainBytes kPlainBytes;

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

}  // namespace

// The document is UTF-8 and the values already are: handing them to the
// formatter would widen each to UTF-16 for its transcoder to narrow again.
// So the writer puts into the document itself what the formatter would
// write unchanged (markup, and each value's characters other than those
// element content escapes), as the same UTF-8 bytes the formatter's
// transcoder writes for them; each &, <, > and carriage return of a value
// goes to the formatter alone, with element-content escaping, which writes
// its reference. A value's characters are checked once, on their way into
// the document.
struct QamXmlWriter::Impl {
  StringFormatTarget target;
  XMLFormatter formatter{"UTF-8", &target, XMLFormatter::NoEscapes,
                         XMLFormatter::UnRep_Replace};

  // Markup is ASCII, written byte for byte through a small buffer; any
  // other unit goes through the formatter's transcoder.
  void Markup(const char16_t* units) {
    char narrow[64];
    std::size_t size = 0;
    for (; *units != 0 && *units < 0x80; ++units) {
      if (size == sizeof narrow) {
        target.bytes.append(narrow, size);
        size = 0;
      }
      narrow[size++] = static_cast<char>(*units);
    }
    target.bytes.append(narrow, size);
    if (*units != 0) {
      formatter.formatBuf(units, std::char_traits<char16_t>::length(units),
                          XMLFormatter::NoEscapes);
    }
  }

  // One character that element content escapes: the formatter writes &amp;,
  // &lt;, &gt; or, for a carriage return, the character reference that a
  // parser keeps (a literal one it would read as a line feed).
  void Escaped(char16_t character) {
    formatter.formatBuf(&character, 1, XMLFormatter::CharEscapes);
  }

  // The text of a value: characters that XML 1.0 cannot carry become
  // U+FFFD and, when unescape is set, the five entity references of
  // EscapeDOMChars become their characters again. Runs of plain ASCII,
  // most of a log, are found eight bytes at a time and copied whole.
  void WriteValue(std::string_view utf8, bool unescape) {
    std::string& out = target.bytes;
    const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    const std::size_t length = utf8.size();
    std::size_t i = 0;
    std::size_t run = 0;  // the start of the plain bytes not yet copied
    while (i < length) {
      if (i + 8 <= length && PlainAscii(byte_scan::Load(bytes + i))) {
        i += 8;
        continue;
      }
      uint8_t byte = bytes[i];
      if (kPlainBytes.plain[byte]) {
        ++i;
        continue;
      }
      if (byte >= 0x80) {
        // A value is well-formed UTF-8, so a character that XML can carry
        // stays as its own bytes, which are what the transcoder would write.
        std::size_t start = i;
        UChar32 c;
        U8_NEXT_UNSAFE(bytes, i, c);
        if (IsXmlChar(static_cast<char32_t>(c))) continue;
        out.append(utf8.data() + run, start - run);
        out.append(kReplacement);
        run = i;
        continue;
      }
      out.append(utf8.data() + run, i - run);
      char16_t character = byte;
      std::size_t width = 1;
      if (byte == '&' && unescape) {
        for (const XmlEntity& entity : kXmlEntities) {
          if (utf8.compare(i, entity.reference.size(), entity.reference) == 0) {
            character = static_cast<char16_t>(entity.character);
            width = entity.reference.size();
            break;
          }
        }
      }
      if (character == u'&' || character == u'<' || character == u'>' || character == u'\r') {
        Escaped(character);
      } else if (width > 1) {  // &quot; or &apos;
        out.push_back(static_cast<char>(character));
      } else {  // a control character that XML 1.0 cannot carry
        out.append(kReplacement);
      }
      i += width;
      run = i;
    }
    out.append(utf8.data() + run, length - run);
  }
};

QamXmlWriter::QamXmlWriter() : impl_(std::make_unique<Impl>()) {
  const std::u16string declaration(kXmlDeclaration.begin(), kXmlDeclaration.end());  // ASCII
  impl_->Markup(declaration.c_str());
  impl_->Markup(u"<QAM_DOC>");
}

QamXmlWriter::~QamXmlWriter() = default;

void QamXmlWriter::Reserve(std::size_t bytes) { impl_->target.bytes.reserve(bytes); }

void QamXmlWriter::Markup(const char16_t* markup) { impl_->Markup(markup); }

void QamXmlWriter::Text(const I18NString& value) { impl_->WriteValue(value.utf8(), false); }

void QamXmlWriter::EscapedText(const I18NString& value) {
  impl_->WriteValue(value.utf8(), true);
}

void QamXmlWriter::Element(const char16_t* name, const I18NString& value) {
  impl_->Markup(u"<");
  impl_->Markup(name);
  impl_->Markup(u">");
  Text(value);
  impl_->Markup(u"</");
  impl_->Markup(name);
  impl_->Markup(u">");
}

void QamXmlWriter::Element(const char16_t* name, bool value) {
  impl_->Markup(u"<");
  impl_->Markup(name);
  impl_->Markup(value ? u">TRUE</" : u">FALSE</");
  impl_->Markup(name);
  impl_->Markup(u">");
}

I18NString QamXmlWriter::Finish() {
  Markup(u"</QAM_DOC>");
  // Well-formed UTF-8: the values' own characters, checked on the way in,
  // and what the formatter's UTF-8 transcoder wrote.
  return I18NString::FromValidUtf8(std::move(impl_->target.bytes));
}
