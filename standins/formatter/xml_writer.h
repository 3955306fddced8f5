// Writes one result document in UTF-8: markup and values go out as they are,
// and Xerces-C's XMLFormatter writes the references of the characters that
// element content escapes.
#ifndef QAMCVS_STANDINS_FORMATTER_XML_WRITER_H_
#define QAMCVS_STANDINS_FORMATTER_XML_WRITER_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "I18NString.h"

/// The XML declaration that begins every document.
inline constexpr std::string_view kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

/// A character that markup escapes, with its predefined entity reference.
struct XmlEntity {
  char character;
  std::string_view reference;
};
/// The five predefined entities of XML: &, <, >, " and '.
inline constexpr XmlEntity kXmlEntities[] = {
    {'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}, {'\'', "&apos;"}};

/// True for a character that XML 1.0 can carry (its Char production); the
/// documents write every other character as U+FFFD.
bool IsXmlChar(char32_t code);

class QamXmlWriter {
 public:
  /// Starts a document: the XML declaration and <QAM_DOC>. The XML platform
  /// must be up.
  QamXmlWriter();
  ~QamXmlWriter();
  QamXmlWriter(const QamXmlWriter&) = delete;
  QamXmlWriter& operator=(const QamXmlWriter&) = delete;

  /// Makes room for a document of about bytes bytes, so that a long one is
  /// not copied as it grows.
  void Reserve(std::size_t bytes);
  /// Writes markup that the caller knows to be well-formed, e.g. u"<Output>".
  void Markup(const char16_t* markup);
  /// Writes a text value as element content: escaped, with every character
  /// that XML 1.0 cannot carry written as U+FFFD and carriage returns as
  /// character references, so that a parser reads back exactly the value.
  void Text(const I18NString& value);
  /// Writes a value that is already escaped for XML (entity references for
  /// &, <, >, " and '); it is written so that a parser reads back the
  /// unescaped text, never escaped twice.
  void EscapedText(const I18NString& value);
  /// <name>value</name>
  void Element(const char16_t* name, const I18NString& value);
  /// <name>TRUE</name> or <name>FALSE</name>
  void Element(const char16_t* name, bool value);
  /// Ends the document with </QAM_DOC> and returns it.
  I18NString Finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

#endif  // QAMCVS_STANDINS_FORMATTER_XML_WRITER_H_
