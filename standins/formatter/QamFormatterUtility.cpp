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
#include "platform.h"
#include "utf8_text.h"
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
  return I18NString("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
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

std::string_view ReferenceOf(char markup) {
  switch (markup) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    default: return "&apos;";
  }
}

}  // namespace

void QamFormatterUtility::EscapeDOMChars(I18NString& text) {
  std::string_view bytes = text.utf8();
  std::size_t at = FindMarkup(bytes, 0);
  if (at == std::string_view::npos) return;
  // Copy the runs between markup characters whole: comments are long and
  // markup characters rare. Room for a reference in every eighth byte
  // first; more when the text holds more.
  std::string out(bytes.size() + bytes.size() / 8 + 8, '\0');
  std::size_t used = 0;
  std::size_t from = 0;
  for (; at != std::string_view::npos; at = FindMarkup(bytes, from)) {
    std::string_view reference = ReferenceOf(bytes[at]);
    std::size_t need = used + (at - from) + reference.size() + (bytes.size() - at);
    if (need > out.size()) out.resize(std::max(need, out.size() * 2));
    std::memcpy(out.data() + used, bytes.data() + from, at - from);
    used += at - from;
    std::memcpy(out.data() + used, reference.data(), reference.size());
    used += reference.size();
    from = at + 1;
  }
  std::memcpy(out.data() + used, bytes.data() + from, bytes.size() - from);
  out.resize(used + bytes.size() - from);
  // Well-formed UTF-8 with ASCII replaced by ASCII stays well-formed.
  text = I18NString::FromValidUtf8(std::move(out));
}

I18NString QamFormatterUtility::GetExceptionThrownDoc() {
  Failure failure = DescribeCurrentException();
  if (platform::XmlPlatformIsUp()) {
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

QamCmdObject::~QamCmdObject() = default;

void QamCmdObject::WriteToStdOut(I18NString& document) {
  if (const uint32_t error = QamFormatterUtility::WriteToStdOut(document); error != 0) {
    QAM_RAISE(kQamInputError,
              I18NString::FromUtf8(platform::SystemErrorText(
                  "Could not write the document to standard output", static_cast<int>(error))));
  }
}
