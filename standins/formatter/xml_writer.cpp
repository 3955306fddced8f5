#include "xml_writer.h"

#include <unicode/utf16.h>
#include <unicode/utf8.h>
#include <xercesc/framework/XMLFormatter.hpp>

#include "QamFormatter.h"

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

// The text of a value in UTF-16 for the formatter: characters that XML 1.0
// cannot carry become U+FFFD and, when unescape is set, the five entity
// references of EscapeDOMChars become their characters again. One pass over
// the UTF-8, since a history document holds megabytes of comments.
void AppendXmlUnits(std::string_view utf8, bool unescape, std::u16string& out) {
  static const struct {
    std::string_view entity;
    char16_t character;
  } kEntities[] = {{"&amp;", u'&'}, {"&lt;", u'<'}, {"&gt;", u'>'},
                   {"&quot;", u'"'}, {"&apos;", u'\''}};
  // A UTF-8 text never has more UTF-16 units than bytes: write through a
  // pointer into a buffer of that size, then cut it to what was written.
  std::size_t base = out.size();
  out.resize(base + utf8.size());
  char16_t* put = out.data() + base;
  const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
  auto length = static_cast<int32_t>(utf8.size());
  for (int32_t i = 0; i < length;) {
    uint8_t byte = bytes[i];
    if (byte >= 0x20 && byte < 0x80 && byte != '&') {
      *put++ = byte;
      ++i;
      continue;
    }
    if (byte == '&' && unescape) {
      bool matched = false;
      for (const auto& entry : kEntities) {
        if (utf8.compare(static_cast<std::size_t>(i), entry.entity.size(), entry.entity) == 0) {
          *put++ = entry.character;
          i += static_cast<int32_t>(entry.entity.size());
          matched = true;
          break;
        }
      }
      if (matched) continue;
    }
    UChar32 c;
    U8_NEXT_UNSAFE(bytes, i, c);
    if (c > 0xFFFF) {
      *put++ = static_cast<char16_t>(U16_LEAD(c));
      *put++ = static_cast<char16_t>(U16_TRAIL(c));
    } else {
      *put++ = IsXmlChar(static_cast<char32_t>(c)) ? static_cast<char16_t>(c) : char16_t{0xFFFD};
    }
  }
  out.resize(static_cast<std::size_t>(put - out.data()));
}

}  // namespace

// Markup is gathered and handed to the formatter in one call before each
// value: the formatter's cost is mostly per call, and a history document
// has five pieces of markup for every value.
struct QamXmlWriter::Impl {
  StringFormatTarget target;
  XMLFormatter formatter{"UTF-8", &target, XMLFormatter::NoEscapes,
                         XMLFormatter::UnRep_Replace};
  std::u16string markup;
  std::u16string value;

  void FlushMarkup() {
    if (markup.empty()) return;
    formatter.formatBuf(markup.data(), markup.size(), XMLFormatter::NoEscapes);
    markup.clear();
  }

  void WriteValue(std::string_view utf8, bool unescape) {
    value.clear();
    AppendXmlUnits(utf8, unescape, value);
    FlushMarkup();
    // A parser turns a literal carriage return into a line feed; a
    // character reference keeps it.
    std::size_t start = 0;
    for (;;) {
      std::size_t cr = value.find(u'\r', start);
      std::size_t end = cr == std::u16string::npos ? value.size() : cr;
      if (end > start) {
        formatter.formatBuf(value.data() + start, end - start, XMLFormatter::CharEscapes);
      }
      if (cr == std::u16string::npos) break;
      formatter.formatBuf(u"&#xD;", 5, XMLFormatter::NoEscapes);
      start = cr + 1;
    }
  }
};

QamXmlWriter::QamXmlWriter() : impl_(std::make_unique<Impl>()) {
  std::u16string declaration = QamFormatterUtility::GetXmlVersionTag().toUtf16();
  Markup(declaration.c_str());
  Markup(u"<QAM_DOC>");
}

QamXmlWriter::~QamXmlWriter() = default;

void QamXmlWriter::Markup(const char16_t* markup) { impl_->markup += markup; }

void QamXmlWriter::Text(const I18NString& value) { impl_->WriteValue(value.utf8(), false); }

void QamXmlWriter::EscapedText(const I18NString& value) {
  impl_->WriteValue(value.utf8(), true);
}

void QamXmlWriter::Element(const char16_t* name, const I18NString& value) {
  impl_->markup.append(u"<").append(name).append(u">");
  Text(value);
  impl_->markup.append(u"</").append(name).append(u">");
}

void QamXmlWriter::Element(const char16_t* name, bool value) {
  impl_->markup.append(u"<").append(name).append(u">");
  impl_->markup.append(value ? u"TRUE" : u"FALSE");
  impl_->markup.append(u"</").append(name).append(u">");
}

I18NString QamXmlWriter::Finish() {
  Markup(u"</QAM_DOC>");
  impl_->FlushMarkup();
  return I18NString::FromUtf8(std::move(impl_->target.bytes));
}
