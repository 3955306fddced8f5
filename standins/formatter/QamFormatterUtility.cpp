#include <unicode/utf8.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "PYLException.h"
#include "QamFormatter.h"
#include "QamUtil.h"
#include "dom_escape.h"
#include "platform.h"
#include "utf8_text.h"
#include "xml_platform.h"
#include "xml_writer.h"

namespace {

struct Failure {
  unsigned long code = 0;
  I18NString message;
  I18NString source;
  I18NString function;
};

// Reads the exception in flight; never raises.
Failure DescribeCurrentException() {
  Failure failure;
  try {
    std::exception_ptr current = std::current_exception();
    if (!current) {
      failure.message = "The command failed for an unknown reason.";
      return failure;
    }
    try {
      std::rethrow_exception(current);
    } catch (const PYLException& error) {
      failure.code = static_cast<unsigned long>(error.code()) & 0xFFFFFFFFUL;
      failure.message = error.message();
      std::string source = error.sourceFile() + ":" + std::to_string(error.sourceLine());
      failure.source = I18NString::FromUtf8(source);
      failure.function = I18NString::FromUtf8(error.function());
    } catch (const std::bad_alloc&) {
      failure.message = "Not enough memory to complete the command.";
    } catch (const std::exception& error) {
      failure.message = I18NString::FromUtf8(std::string("The command failed: ") + error.what());
    } catch (...) {
      failure.message = "The command failed for an unknown reason.";
    }
  } catch (...) {
    failure.message = I18NString();
  }
  return failure;
}

std::string CodeText(unsigned long code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", code & 0xFFFFFFFFUL);
  return text;
}

// The failure document without Xerces, for when the XML platform is down or
// failed: only the markup characters need escaping, and characters that XML
// cannot carry are replaced as the XML writer does. text is well-formed UTF-8.
std::string EscapeByHand(std::string_view text) {
  std::string out;
  const auto* data = reinterpret_cast<const uint8_t*>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    std::size_t start = i;
    UChar32 c;
    U8_NEXT_UNSAFE(data, i, c);
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '\r': out += "&#xD;"; break;
      default:
        if (IsXmlChar(static_cast<char32_t>(c))) {
          out.append(text, start, i - start);
        } else {
          out += "\xEF\xBF\xBD";
        }
    }
  }
  return out;
}

I18NString FailureDocumentByHand(const Failure& failure) {
  std::string document(QamFormatterUtility::GetXmlVersionTag().utf8());
  document += "<QAM_DOC><Error><Code>" + CodeText(failure.code) + "</Code><Message>" +
              EscapeByHand(failure.message.utf8()) + "</Message><Source>" +
              EscapeByHand(failure.source.utf8()) + "</Source><Function>" +
              EscapeByHand(failure.function.utf8()) + "</Function></Error></QAM_DOC>";
  return I18NString::FromUtf8(document);
}

}  // namespace

I18NString QamFormatterUtility::GetXmlVersionTag() {
  return I18NString::FromUtf8(kXmlDeclaration);
}

namespace {

bool IsMarkup(char c) { return c == '&' || c == '<' || c == '>' || c == '"' || c == '\''; }

// The first markup character at or after from, eight bytes at a time.
std::size_t FindMarkup(std::string_view bytes, std::size_t from) {
  using namespace byte_scan;
  std::size_t i = from;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint64_t word = Load(bytes.data() + i);
    if ((HasByte(word, '&') | HasByte(word, '<') | HasByte(word, '>') | HasByte(word, '"') |
         HasByte(word, '\'')) != 0) {
      break;
    }
  }
  for (; i < bytes.size(); ++i) {
    if (IsMarkup(bytes[i])) return i;
  }
  return std::string_view::npos;
}

// The entity reference that replaces a markup character, from the writer's
// table: a value escaped here and a value that the writer unescapes spell
// each reference alike.
std::string_view ReferenceOf(char markup) {
  for (const XmlEntity& entity : kXmlEntities) {
    if (entity.character == markup) return entity.reference;
  }
  return {};
}

}  // namespace

std::size_t EscapedDomSize(std::string_view text) {
  std::size_t size = text.size();
  for (std::size_t at = FindMarkup(text, 0); at != std::string_view::npos;
       at = FindMarkup(text, at + 1)) {
    size += ReferenceOf(text[at]).size() - 1;
  }
  return size;
}

bool AppendEscapedDom(std::string_view text, std::string* out) {
  std::size_t at = FindMarkup(text, 0);
  if (at == std::string_view::npos) return false;
  // Copy the runs between markup characters whole: comments are long and
  // markup characters rare.
  std::size_t from = 0;
  for (; at != std::string_view::npos; at = FindMarkup(text, from)) {
    out->append(text, from, at - from);
    out->append(ReferenceOf(text[at]));
    from = at + 1;
  }
  out->append(text, from, std::string_view::npos);
  return true;
}

I18NString QamFormatterUtility::GetExceptionThrownDoc() {
  Failure failure = DescribeCurrentException();
  if (xml_platform::IsUp()) {
    try {
      QamXmlWriter writer;
      writer.Markup(u"<Error>");
      writer.Element(u"Code", I18NString(CodeText(failure.code).c_str()));
      writer.Element(u"Message", failure.message);
      writer.Element(u"Source", failure.source);
      writer.Element(u"Function", failure.function);
      writer.Markup(u"</Error>");
      return writer.Finish();
    } catch (...) {
      // Fall through to the document built by hand.
    }
  }
  try {
    return FailureDocumentByHand(failure);
  } catch (...) {
    return I18NString();
  }
}

uint32_t QamFormatterUtility::WriteToStdOut(const I18NString& document) {
  // Whatever the C stream holds goes first; the document then goes straight
  // to the descriptor, so that only a whole document, line feed included,
  // counts as written. The status is the system's error, 0 when written.
  return static_cast<uint32_t>(platform::WriteToStandardOutput(document.utf8(), "\n"));
}

// The base of every command; a document it cannot print raises.
QamCmdObject::~QamCmdObject() = default;

void QamCmdObject::WriteToStdOut(I18NString& document) {
  if (const uint32_t error = QamFormatterUtility::WriteToStdOut(document); error != 0) {
    QAM_RAISE(kQamInputError,
              I18NString::FromUtf8(platform::SystemErrorText(
                  "Could not write the document to standard output", static_cast<int>(error))));
  }
}

void QamFormatterUtility::EscapeDOMChars(I18NString& text) {
  std::string_view bytes = text.utf8();
  const std::size_t size = EscapedDomSize(bytes);
  if (size == bytes.size()) return;
  std::string out;
  out.reserve(size);
  AppendEscapedDom(bytes, &out);
  // Well-formed UTF-8 with ASCII replaced by ASCII stays well-formed.
  text = I18NString::FromValidUtf8(std::move(out));
}
