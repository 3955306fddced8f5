#include "xml_writer.h"

#include <xercesc/framework/XMLFormatter.hpp>

#include "QamFormatter.h"

using xercesc::XMLFormatter;

namespace {

// XML 1.0 Char: #x9 | #xA | #xD | [#x20-#xD7FF] | [#xE000-#xFFFD] | [#x10000-#x10FFFF].
bool IsXmlChar(char16_t unit) {
  return unit == 0x9 || unit == 0xA || unit == 0xD ||
         (unit >= 0x20 && unit <= 0xFFFD && unit != 0xFFFE);
}

// I18NString holds no unpaired surrogates, so only single units need a check.
void Sanitise(std::u16string& units) {
  for (char16_t& unit : units) {
    if (unit >= 0xD800 && unit <= 0xDFFF) continue;
    if (!IsXmlChar(unit)) unit = 0xFFFD;
  }
}

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

}  // namespace

struct QamXmlWriter::Impl {
  StringFormatTarget target;
  XMLFormatter formatter{"UTF-8", &target, XMLFormatter::NoEscapes,
                         XMLFormatter::UnRep_CharRef};
};

QamXmlWriter::QamXmlWriter() : impl_(std::make_unique<Impl>()) {
  std::u16string declaration = QamFormatterUtility::GetXmlVersionTag().toUtf16();
  Markup(declaration.c_str());
  Markup(u"<QAM_DOC>");
}

QamXmlWriter::~QamXmlWriter() = default;

void QamXmlWriter::Markup(const char16_t* markup) {
  impl_->formatter << XMLFormatter::NoEscapes << markup;
}

void QamXmlWriter::Text(const I18NString& value) { TextUnits(value.toUtf16()); }

void QamXmlWriter::TextUnits(std::u16string units) {
  Sanitise(units);
  // A parser turns a literal carriage return into a line feed; a character
  // reference keeps it.
  std::size_t start = 0;
  while (start <= units.size()) {
    std::size_t cr = units.find(u'\r', start);
    std::size_t end = cr == std::u16string::npos ? units.size() : cr;
    if (end > start) {
      impl_->formatter.formatBuf(units.data() + start, end - start,
                                 XMLFormatter::CharEscapes);
    }
    if (cr == std::u16string::npos) break;
    Markup(u"&#xD;");
    start = cr + 1;
  }
}

void QamXmlWriter::EscapedText(const I18NString& value) {
  TextUnits(UnescapeDomChars(value.toUtf16()));
}

void QamXmlWriter::Element(const char16_t* name, const I18NString& value) {
  impl_->formatter << XMLFormatter::NoEscapes << u"<" << name << u">";
  Text(value);
  impl_->formatter << XMLFormatter::NoEscapes << u"</" << name << u">";
}

void QamXmlWriter::Element(const char16_t* name, bool value) {
  impl_->formatter << XMLFormatter::NoEscapes << u"<" << name << u">"
                   << (value ? u"TRUE" : u"FALSE") << u"</" << name << u">";
}

I18NString QamXmlWriter::Finish() {
  Markup(u"</QAM_DOC>");
  return I18NString::FromUtf8(std::move(impl_->target.bytes));
}

std::u16string UnescapeDomChars(const std::u16string& text) {
  static const struct {
    std::u16string_view entity;
    char16_t character;
  } kEntities[] = {{u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'},
                   {u"&quot;", u'"'}, {u"&apos;", u'\''}};
  std::u16string out;
  out.reserve(text.size());
  std::u16string_view rest(text);
  while (!rest.empty()) {
    std::size_t amp = rest.find(u'&');
    if (amp == std::u16string_view::npos) {
      out.append(rest);
      break;
    }
    out.append(rest.substr(0, amp));
    rest.remove_prefix(amp);
    bool matched = false;
    for (const auto& entry : kEntities) {
      if (rest.substr(0, entry.entity.size()) == entry.entity) {
        out.push_back(entry.character);
        rest.remove_prefix(entry.entity.size());
        matched = true;
        break;
      }
    }
    if (!matched) {
      out.push_back(u'&');
      rest.remove_prefix(1);
    }
  }
  return out;
}
