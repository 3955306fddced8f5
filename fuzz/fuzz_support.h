// What every fuzz target shares: the XML platform, the well-formedness
// checks over the test toolkit's document reader, the value a renderer must
// give back for a string, and a way to stop on a broken property.
#ifndef QAMCVS_FUZZ_FUZZ_SUPPORT_H_
#define QAMCVS_FUZZ_FUZZ_SUPPORT_H_

#include <unistd.h>
#include <xercesc/util/XMLChar.hpp>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "I18NString.h"
#include "QamFormatter.h"
#include "support/parsed_xml.h"
#include "support/toolkit.h"
#include "utf8_text.h"
#include "xml_platform.h"

namespace fuzz_support {

using testing_support::ParsedXml;

/// Starts the XML platform once per process, the way the driver does, so
/// that failure documents are written by Xerces as in the real program.
inline void EnsureXmlPlatform() {
  static const bool kUp = [] {
    std::string why;
    if (!xml_platform::Start(&why)) {
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

/// What an XML parser must read back for value: every character that XML
/// 1.0 cannot carry becomes U+FFFD. Which those are, Xerces-C's own
/// character table says, not the writer's rule under test.
inline std::string ExpectedReadBack(const I18NString& value) {
  std::string out;
  for (char32_t code : value.toWide()) {
    const bool xmlChar =
        code <= 0xFFFF
            ? xercesc::XMLChar1_0::isXMLChar(static_cast<XMLCh>(code))
            : code <= 0x10FFFF &&
                  xercesc::XMLChar1_0::isXMLChar(static_cast<XMLCh>(0xD7C0 + (code >> 10)),
                                                 static_cast<XMLCh>(0xDC00 | (code & 0x3FF)));
    testing_support::AppendUtf8(out, xmlChar ? code : 0xFFFD);
  }
  return out;
}

/// Parses document and stops unless it is a well-formed QAM_DOC, ended by
/// nothing but an optional line feed.
inline ParsedXml RequireDocument(std::string_view document) {
  ParsedXml parsed = testing_support::ParseXml(document);
  if (!parsed.wellFormed) {
    Fail("document is well-formed XML", parsed.error + "\n" + std::string(document));
  }
  Require(parsed.rootName == "QAM_DOC", "document root is QAM_DOC", document);
  return parsed;
}

/// Stops unless document is a failure document (FailureDocumentFault).
/// Returns it parsed.
inline ParsedXml RequireFailureDocument(std::string_view document) {
  ParsedXml parsed = testing_support::ParseXml(document);
  const std::string fault = testing_support::FailureDocumentFault(parsed);
  Require(fault.empty(), "a failure document", fault + "\n" + std::string(document));
  return parsed;
}

/// The file that holds each input for the commands that read OutputFile: one
/// per process, rewritten for each input.
inline const std::string& InputPath() {
  static const testing_support::TempDir kFolder;
  static const std::string kPath = kFolder / "input";
  return kPath;
}

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
  ParsedXml parsed;
  bool raised = false;  // the failure document, checked as one
};

/// Runs a command the way the driver does, on OutputFile = a file holding
/// data: the command's document, or the failure document when it raises.
template <class Command>
CommandRun RunCommandOn(const uint8_t* data, std::size_t size) {
  EnsureXmlPlatform();
  Require(testing_support::WriteFile(InputPath(),
                                     std::string(reinterpret_cast<const char*>(data), size)),
          "the fuzz input file can be written", InputPath());
  const testing_support::CommandRun raw =
      testing_support::RunCommand<Command>(testing_support::ToolTextParams(InputPath()));
  CommandRun run;
  run.document = raw.document;
  run.raised = raw.raised;
  run.parsed = run.raised ? RequireFailureDocument(run.document) : RequireDocument(run.document);
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
