#include "support/parsed_xml.h"

#include <cstring>
#include <unordered_map>
#include <vector>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLUni.hpp>

namespace testing_support {
namespace {

std::string Utf8Of(const XMLCh* text, XMLSize_t length) {
  // Straight to UTF-8: a document has many values, and a string made for
  // each would cost more than the parse. An unpaired surrogate becomes U+FFFD.
  std::string out;
  out.reserve(length);
  for (XMLSize_t i = 0; i < length; ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    AppendUtf8(out, code);
  }
  return out;
}

std::string Utf8Of(const XMLCh* text) {
  XMLSize_t length = 0;
  while (text != nullptr && text[length] != 0) ++length;
  return Utf8Of(text, length);
}

// Gathers the elements of one document as the parser reports them.
class Collector : public xercesc::DefaultHandler {
 public:
  explicit Collector(ParsedXml* document) : document_(document) {}

  void startElement(const XMLCh* const, const XMLCh* const, const XMLCh* const qname,
                    const xercesc::Attributes& attributes) override {
    XmlElement element;
    element.name = Utf8Of(qname);
    for (XMLSize_t i = 0; i < attributes.getLength(); ++i) {
      element.attributes.emplace_back(Utf8Of(attributes.getQName(i)),
                                      Utf8Of(attributes.getValue(i)));
    }
    open_.push_back(document_->elements.size());
    document_->elements.push_back(std::move(element));
  }
  void endElement(const XMLCh* const, const XMLCh* const, const XMLCh* const) override {
    if (!open_.empty()) open_.pop_back();
  }
  void characters(const XMLCh* const chars, const XMLSize_t length) override {
    if (!open_.empty()) document_->elements[open_.back()].text += Utf8Of(chars, length);
  }
  void fatalError(const xercesc::SAXParseException& error) override { throw error; }

 private:
  ParsedXml* document_;
  std::vector<std::size_t> open_;
};

// Memory for the one reader below. Under AddressSanitizer every allocation
// records its stack and every free goes through the quarantine; a parse makes
// hundreds of them (an input reader of some 170 KB among them, mapped and
// unmapped each time), which cost more than the parse. Freed blocks are kept
// by size for the next parse instead: the reader is test code, not what the
// tests check.
class ReusingMemoryManager : public xercesc::MemoryManager {
 public:
  xercesc::MemoryManager* getExceptionMemoryManager() override {
    return xercesc::XMLPlatformUtils::fgMemoryManager;
  }
  void* allocate(XMLSize_t size) override {
    std::vector<char*>& free = kept_[size];
    if (!free.empty()) {
      char* block = free.back();
      free.pop_back();
      keptBytes_ -= size;
      return block + kHeader;
    }
    // The size goes in a header before the block, kept 16-byte aligned.
    auto* block = static_cast<char*>(::operator new(size + kHeader));
    std::memcpy(block, &size, sizeof size);
    return block + kHeader;
  }
  void deallocate(void* memory) override {
    if (memory == nullptr) return;
    char* block = static_cast<char*>(memory) - kHeader;
    const std::size_t size = SizeOf(block);
    if (keptBytes_ + size <= kMostKeptBytes) {
      kept_[size].push_back(block);
      keptBytes_ += size;
    } else {
      ::operator delete(block);
    }
  }

 private:
  static constexpr std::size_t kHeader = 16;
  static constexpr std::size_t kMostKeptBytes = 64 * 1024 * 1024;
  static std::size_t SizeOf(const char* block) {
    std::size_t size;
    std::memcpy(&size, block, sizeof size);
    return size;
  }
  std::unordered_map<std::size_t, std::vector<char*>> kept_;
  std::size_t keptBytes_ = 0;
};

// The reader every document goes through: making one builds some 170 KB of
// buffers. Never destroyed, it lives as long as Xerces-C, which is started
// here once and never stopped; Xerces-C counts starts and stops, so the
// program's own stay balanced.
xercesc::SAX2XMLReader& Reader() {
  static xercesc::SAX2XMLReader* const reader = [] {
    xercesc::XMLPlatformUtils::Initialize();
    xercesc::SAX2XMLReader* made =
        xercesc::XMLReaderFactory::createXMLReader(new ReusingMemoryManager);
    made->setFeature(xercesc::XMLUni::fgSAX2CoreNameSpaces, false);
    made->setFeature(xercesc::XMLUni::fgSAX2CoreValidation, false);
    return made;
  }();
  return *reader;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

ParsedXml ParseXml(std::string_view document) {
  xercesc::SAX2XMLReader& reader = Reader();
  ParsedXml parsed;
  Collector collector(&parsed);
  reader.setContentHandler(&collector);
  reader.setErrorHandler(&collector);
  xercesc::MemBufInputSource source(reinterpret_cast<const XMLByte*>(document.data()),
                                    document.size(), "document");
  try {
    reader.parse(source);
    parsed.wellFormed = true;
  } catch (const xercesc::SAXParseException& error) {
    parsed.error = Utf8Of(error.getMessage()) + " at column " +
                   std::to_string(error.getColumnNumber());
  } catch (const xercesc::XMLException& error) {
    parsed.error = Utf8Of(error.getMessage());
  }
  reader.setContentHandler(nullptr);
  reader.setErrorHandler(nullptr);
  if (parsed.wellFormed && parsed.elements.empty()) {
    parsed.wellFormed = false;
    parsed.error = "no document element";
  }
  if (parsed.wellFormed) {
    parsed.rootName = parsed.elements.front().name;
  } else {
    parsed.elements.clear();
  }
  return parsed;
}

std::vector<std::string> ParsedXml::TextsOf(std::string_view name) const {
  std::vector<std::string> texts;
  for (const XmlElement& element : elements) {
    if (element.name == name) texts.push_back(element.text);
  }
  return texts;
}

std::vector<std::string> ParsedXml::AttributesOf(std::string_view name,
                                                 std::string_view attribute) const {
  std::vector<std::string> values;
  for (const XmlElement& element : elements) {
    if (element.name != name) continue;
    std::string value;
    for (const auto& [key, text] : element.attributes) {
      if (key == attribute) value = text;
    }
    values.push_back(value);
  }
  return values;
}

std::size_t ParsedXml::Count(std::string_view name) const {
  std::size_t count = 0;
  for (const XmlElement& element : elements) count += element.name == name ? 1 : 0;
  return count;
}

}  // namespace testing_support
