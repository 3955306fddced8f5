// What every fuzz target shares: the XML platform, a SAX well-formedness
// check that reads back element texts, the value a renderer must give back
// for a string, and a way to stop on a broken property.
#ifndef QAMCVS_FUZZ_FUZZ_SUPPORT_H_
#define QAMCVS_FUZZ_FUZZ_SUPPORT_H_

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "I18NString.h"
#include "QamFormatter.h"
#include "platform.h"

namespace fuzz_support {

/// Starts the XML platform once per process, the way the driver does, so
/// that failure documents are written by Xerces as in the real program.
inline void EnsureXmlPlatform() {
  static const bool kUp = [] {
    std::string why;
    if (!platform::StartXmlPlatform(&why)) {
      std::fprintf(stderr, "cannot start the XML platform: %s\n", why.c_str());
      std::abort();
    }
    return true;
  }();
  (void)kUp;
}

/// Sends the library's own hints on standard output and error (usage text,
/// command-line hints) to /dev/null; sanitizer and libFuzzer reports keep
/// the real stream.
inline void SilenceStandardStreams() {
#ifdef __GLIBC__
  static const bool kDone = [] {
    if (std::FILE* sink = std::fopen("/dev/null", "w")) {
      stdout = sink;
      stderr = sink;
    }
    return true;
  }();
  (void)kDone;
#endif
}

/// Reports a broken property with the offending text and stops, so that
/// libFuzzer saves the input as a finding.
[[noreturn]] inline void Fail(const char* property, std::string_view detail) {
  // Written with write(2): the stdio streams may be silenced.
  std::string text = std::string("PROPERTY BROKEN: ") + property + "\n" +
                     std::string(detail.substr(0, 4000)) + "\n";
  ssize_t ignored = write(2, text.data(), text.size());
  (void)ignored;
  std::abort();
}

inline void Require(bool holds, const char* property, std::string_view detail = {}) {
  if (!holds) Fail(property, detail);
}

/// Well-formed UTF-8 (no surrogates, no overlong forms, at most U+10FFFF).
inline bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    auto lead = static_cast<unsigned char>(bytes[i]);
    int extra = 0;
    char32_t code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (i + static_cast<std::size_t>(extra) >= bytes.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      auto next = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if ((extra == 2 && code < 0x800) || (extra == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

/// Appends code (at most U+10FFFF, no surrogate) to out as UTF-8.
inline void AppendUtf8(std::string& out, char32_t code) {
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

/// What an XML parser must read back for value: every character that XML
/// 1.0 cannot carry becomes U+FFFD.
inline std::string ExpectedReadBack(const I18NString& value) {
  std::string out;
  for (char32_t code : value.toWide()) {
    bool xmlChar = code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
                   (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
    if (!xmlChar) code = 0xFFFD;
    AppendUtf8(out, code);
  }
  return out;
}

/// One element of a parsed document: its name, its text (UTF-8, direct
/// character content only) and its attributes.
struct Element {
  std::string name;
  std::string text;
  std::vector<std::pair<std::string, std::string>> attributes;
};

/// A document read back by Xerces' SAX2 parser.
struct ParsedDocument {
  bool wellFormed = false;
  std::string error;
  std::vector<Element> elements;  // in document order of their start tags

  /// Texts of every element called name, in document order.
  std::vector<std::string> TextsOf(std::string_view name) const {
    std::vector<std::string> texts;
    for (const Element& element : elements) {
      if (element.name == name) texts.push_back(element.text);
    }
    return texts;
  }
  std::size_t Count(std::string_view name) const { return TextsOf(name).size(); }
};

namespace internal {

inline std::string Utf8Of(const XMLCh* text, XMLSize_t length) {
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

inline std::string Utf8Of(const XMLCh* text) {
  XMLSize_t length = 0;
  while (text != nullptr && text[length] != 0) ++length;
  return Utf8Of(text, length);
}

class Collector : public xercesc::DefaultHandler {
 public:
  explicit Collector(ParsedDocument* document) : document_(document) {}

  void startElement(const XMLCh* const, const XMLCh* const, const XMLCh* const qname,
                    const xercesc::Attributes& attributes) override {
    Element element;
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
  ParsedDocument* document_;
  std::vector<std::size_t> open_;
};

}  // namespace internal

/// Memory for the one reader below. Each parse makes an input reader of
/// some 170 KB; under AddressSanitizer a block that large is mapped and
/// unmapped every time, page faults included, which cost more than the parse.
/// Large blocks are kept for the next parse instead; small ones go to the
/// ordinary allocator, where AddressSanitizer checks them as always.
class ReusingMemoryManager : public xercesc::MemoryManager {
 public:
  xercesc::MemoryManager* getExceptionMemoryManager() override {
    return xercesc::XMLPlatformUtils::fgMemoryManager;
  }
  void* allocate(XMLSize_t size) override {
    for (std::size_t i = 0; i < kept_.size(); ++i) {
      if (SizeOf(kept_[i]) == size) {
        char* block = kept_[i];
        kept_[i] = kept_.back();
        kept_.pop_back();
        return block + kHeader;
      }
    }
    // The size goes in a header before the block, kept 16-byte aligned.
    auto* block = static_cast<char*>(::operator new(size + kHeader));
    std::memcpy(block, &size, sizeof size);
    return block + kHeader;
  }
  void deallocate(void* memory) override {
    if (memory == nullptr) return;
    char* block = static_cast<char*>(memory) - kHeader;
    if (SizeOf(block) >= kLarge && kept_.size() < kMostKept) {
      kept_.push_back(block);
    } else {
      ::operator delete(block);
    }
  }

 private:
  static constexpr std::size_t kHeader = 16;
  static constexpr std::size_t kLarge = 16 * 1024;
  static constexpr std::size_t kMostKept = 16;
  static std::size_t SizeOf(const char* block) {
    std::size_t size;
    std::memcpy(&size, block, sizeof size);
    return size;
  }
  std::vector<char*> kept_;
};

/// Parses document (UTF-8) without validation; wellFormed tells whether
/// Xerces accepted it. The XML platform must be up. One reader serves every
/// document: making one builds some 170 KB of buffers.
inline ParsedDocument ParseDocument(std::string_view document) {
  EnsureXmlPlatform();
  // Never destroyed: it lives as long as the XML platform, which the
  // targets never stop.
  static xercesc::SAX2XMLReader* const reader = [] {
    xercesc::SAX2XMLReader* made =
        xercesc::XMLReaderFactory::createXMLReader(new ReusingMemoryManager);
    made->setFeature(xercesc::XMLUni::fgSAX2CoreNameSpaces, false);
    made->setFeature(xercesc::XMLUni::fgSAX2CoreValidation, false);
    return made;
  }();
  ParsedDocument parsed;
  internal::Collector collector(&parsed);
  reader->setContentHandler(&collector);
  reader->setErrorHandler(&collector);
  xercesc::MemBufInputSource source(reinterpret_cast<const XMLByte*>(document.data()),
                                    document.size(), "document");
  try {
    reader->parse(source);
    parsed.wellFormed = true;
  } catch (const xercesc::SAXParseException& error) {
    parsed.error = internal::Utf8Of(error.getMessage()) + " at column " +
                   std::to_string(error.getColumnNumber());
  } catch (const xercesc::XMLException& error) {
    parsed.error = internal::Utf8Of(error.getMessage());
  }
  reader->setContentHandler(nullptr);
  reader->setErrorHandler(nullptr);
  return parsed;
}

/// Parses document and stops unless it is a well-formed QAM_DOC, ended by
/// nothing but an optional line feed.
inline ParsedDocument RequireDocument(std::string_view document) {
  ParsedDocument parsed = ParseDocument(document);
  if (!parsed.wellFormed) {
    Fail("document is well-formed XML", parsed.error + "\n" + std::string(document));
  }
  Require(!parsed.elements.empty() && parsed.elements[0].name == "QAM_DOC",
          "document root is QAM_DOC", document);
  return parsed;
}

/// Checks a failure document: well-formed, one Error with a 0x code and a
/// message. Returns it parsed.
inline ParsedDocument RequireFailureDocument(std::string_view document) {
  ParsedDocument parsed = RequireDocument(document);
  Require(parsed.Count("Error") == 1, "failure document has one Error", document);
  std::vector<std::string> codes = parsed.TextsOf("Code");
  Require(codes.size() == 1 && codes[0].size() == 10 && codes[0].rfind("0x", 0) == 0,
          "failure document has a 0x code", document);
  std::vector<std::string> messages = parsed.TextsOf("Message");
  Require(messages.size() == 1 && !messages[0].empty(), "failure document has a message", document);
  return parsed;
}

/// A file in memory-backed storage holding the fuzz input for the commands
/// that read OutputFile; one per target and process, kept open and
/// rewritten in place for each input.
class InputFile {
 public:
  explicit InputFile(const char* target) {
    const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    path_ = std::string(folder) + "/qamcvs-fuzz-" + target + "-" + std::to_string(getpid());
    descriptor_ = open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    Require(descriptor_ >= 0, "the fuzz input file can be made", path_);
  }
  ~InputFile() {
    close(descriptor_);
    unlink(path_.c_str());
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  /// Replaces the file's content; stops when it cannot be written.
  void Write(const uint8_t* data, std::size_t size) const {
    bool written = ftruncate(descriptor_, 0) == 0;
    for (std::size_t at = 0; written && at < size;) {
      const ssize_t put = pwrite(descriptor_, data + at, size - at, static_cast<off_t>(at));
      written = put > 0;
      if (written) at += static_cast<std::size_t>(put);
    }
    Require(written, "the fuzz input file can be written", path_);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int descriptor_ = -1;
};

/// Number of (possibly overlapping) places where pattern occurs in text: an
/// upper bound for any split of text at pattern.
inline std::size_t CountOccurrences(std::string_view text, std::string_view pattern) {
  std::size_t count = 0;
  for (std::size_t at = text.find(pattern); at != std::string_view::npos;
       at = text.find(pattern, at + 1)) {
    ++count;
  }
  return count;
}

/// A command's document, checked well-formed and parsed once.
struct CommandRun {
  std::string document;
  ParsedDocument parsed;
  bool raised = false;  // the failure document, checked as one
};

/// Runs a command the way the driver does, on OutputFile = file holding
/// data: the command's document, or the failure document when it raises.
template <class Command>
CommandRun RunCommandOn(const InputFile& file, const uint8_t* data, std::size_t size) {
  EnsureXmlPlatform();
  file.Write(data, size);
  QamInputParams params;
  params.SetValue("OutputFile", I18NString::FromUtf8(file.path()));
  CommandRun run;
  try {
    Command command(params);
    command.ProceesOutPut();
    run.document = std::string(command.ConverToQamFormat().utf8());
  } catch (...) {
    run.raised = true;
    run.document = std::string(QamFormatterUtility::GetExceptionThrownDoc().utf8());
    run.parsed = RequireFailureDocument(run.document);
    return run;
  }
  run.parsed = RequireDocument(run.document);
  return run;
}

/// Stops when a value read back from a document holds a carriage return or
/// U+0000 (which a writer would have turned into U+FFFD).
inline void RequireNoCrOrNul(const std::vector<std::string>& values, const char* what,
                             std::string_view document) {
  for (const std::string& value : values) {
    Require(value.find('\r') == std::string::npos, what, document);
    Require(value.find('\0') == std::string::npos, what, document);
  }
}

}  // namespace fuzz_support

#endif  // QAMCVS_FUZZ_FUZZ_SUPPORT_H_
