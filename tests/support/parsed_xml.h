// Documents read back with Xerces-C's SAX2 parser, for the tests and the
// fuzz targets alike: no test framework is needed, and one reader serves
// every document in a single pass over its text.
#ifndef QAMCVS_TESTS_SUPPORT_PARSED_XML_H_
#define QAMCVS_TESTS_SUPPORT_PARSED_XML_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testing_support {

/// Appends code (at most U+10FFFF, no surrogate) to out as UTF-8.
void AppendUtf8(std::string& out, char32_t code);

/// One element of a document: its name, the text directly inside it (UTF-8)
/// and its attributes in document order.
struct XmlElement {
  std::string name;
  std::string text;
  std::vector<std::pair<std::string, std::string>> attributes;
};

/// A document read back by an XML parser. Every list is empty unless the
/// document is well-formed.
struct ParsedXml {
  bool wellFormed = false;
  std::string error;  // why not, with the column
  std::string rootName;
  std::vector<XmlElement> elements;  // in document order of their start tags

  /// The text directly inside every element named name, in document order.
  std::vector<std::string> TextsOf(std::string_view name) const;
  /// The value of attribute ("" where it is absent) of every element named
  /// name, in document order.
  std::vector<std::string> AttributesOf(std::string_view name, std::string_view attribute) const;
  /// The number of elements named name.
  std::size_t Count(std::string_view name) const;
};

/// Parses document (UTF-8) without validation. Xerces-C is started on first
/// use and stays up for the process; the program's own start and stop
/// (xml_platform::Start) are not affected.
ParsedXml ParseXml(std::string_view document);

}  // namespace testing_support

#endif  // QAMCVS_TESTS_SUPPORT_PARSED_XML_H_
