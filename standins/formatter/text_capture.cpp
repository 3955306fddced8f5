#include "text_capture.h"

#include <algorithm>
#include <string>

#include "QamUtil.h"
#include "encoding.h"
#include "platform.h"
#include "utf8_text.h"

namespace {

// A stream is read into a buffer that grows by what it holds, from 16 KiB up
// to 1 MiB at a time: small texts stay small, and growing a large one never
// holds much more than the text itself.
constexpr std::size_t kStreamFirst = 16 * 1024;
constexpr std::size_t kStreamMostAtOnce = 1024 * 1024;

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

std::string LimitText(std::size_t limit) {
  if (limit == CaptureLimits().maxTextBytes) return "1 GiB";
  return std::to_string(limit) + " bytes";
}

std::string WaitText(int milliseconds) {
  if (milliseconds % 1000 == 0) return std::to_string(milliseconds / 1000) + " seconds";
  return std::to_string(milliseconds) + " milliseconds";
}

I18NString TooLargeText(const std::string& what, std::size_t limit) {
  return I18NString::FromUtf8("The text in " + what + " is too large: more than " +
                              LimitText(limit) + " is not supported.");
}

// Reads the whole source straight into the string's own storage: a regular
// file in one buffer of its size, refused before it is read when that size
// is over the limit; a stream in a buffer that grows as it is read.
std::string ReadAll(platform::TextSource& source, const std::string& what, std::size_t limit) {
  const long long known = source.KnownSize();
  if (known > 0 && static_cast<unsigned long long>(known) > limit) {
    QAM_RAISE(kQamInputError, TooLargeText(what, limit));
  }
  std::string bytes;
  // One byte more than the file holds, so that the end is seen without growing.
  bytes.resize(known > 0 ? static_cast<std::size_t>(known) + 1 : kStreamFirst);
  std::size_t used = 0;
  for (;;) {
    if (used == bytes.size()) {
      bytes.resize(used + std::clamp(used, kStreamFirst, kStreamMostAtOnce));
    }
    std::size_t got = 0;
    const platform::SystemError error = source.Read(bytes.data() + used, bytes.size() - used, &got);
    if (error != 0) {
      QAM_RAISE(
          kQamInputError,
          I18NString::FromUtf8(platform::SystemErrorText("Could not read " + what, error) + "."));
    }
    if (got == 0) break;
    used += got;
    if (used > limit) QAM_RAISE(kQamInputError, TooLargeText(what, limit));
  }
  bytes.resize(used);
  return bytes;
}

void DropByteOrderMark(std::string& bytes) {
  if (bytes.compare(0, 3, kByteOrderMark) == 0) bytes.erase(0, 3);
}

// In place where the bytes are meant as UTF-8, makes them valid UTF-8 without
// U+0000 whatever they hold. what names the source for the size failure.
void DecodeCapturedBytes(std::string& bytes, const char* encoding, std::size_t limit,
                         const std::string& what) {
  if (encoding == nullptr || *encoding == '\0' || IsUtf8EncodingName(encoding)) {
    DropByteOrderMark(bytes);
    // Without a named encoding, a log may mix lines from clients that wrote
    // UTF-8 and from older ones that wrote Windows-1252 (or Latin-1, its
    // subset); a named UTF-8 is taken strictly.
    const Utf8Reading reading = encoding == nullptr || *encoding == '\0'
                                    ? Utf8Reading::kLineByLineOrWindows1252
                                    : Utf8Reading::kStrict;
    if (!DecodeUtf8InPlace(bytes, reading, limit)) {
      QAM_RAISE(kQamInputError, TooLargeText(what, limit));
    }
    return;
  }
  std::string text;
  if (!DecodeToUtf8(bytes, encoding, limit, &text)) {
    QAM_RAISE(kQamInputError, TooLargeText(what, limit));
  }
  std::string().swap(bytes);  // the raw bytes are no longer needed
  // The decoded text is valid UTF-8; only U+0000 remains to be replaced.
  if (!DecodeUtf8InPlace(text, Utf8Reading::kStrict, limit)) {
    QAM_RAISE(kQamInputError, TooLargeText(what, limit));
  }
  DropByteOrderMark(text);
  bytes = std::move(text);
}

}  // namespace

I18NString DecodeToolText(std::string bytes, const char* encoding) {
  DecodeCapturedBytes(bytes, encoding, CaptureLimits().maxTextBytes, "the tool's output");
  return I18NString::FromValidUtf8(std::move(bytes));
}

I18NString CaptureToolText(const QamInputParams& params, const CaptureLimits& limits) {
  I18NString path = params.GetValueOf("OutputFile");
  if (path.empty()) {
    QAM_RAISE(kQamInputError,
              MissingParameterText("OutputFile",
                                   "the file that holds the version-control tool's text "
                                   "(\"-\" for standard input)"));
  }
  const std::string encoding(params.GetValueOf("Encoding").utf8());
  std::string what = "standard input";
  platform::TextSource source;
  if (path == "-") {
    // The host that closed standard input gave no text: not an empty one.
    if (platform::StandardInputText(&source) == platform::TextOpening::kClosed) {
      QAM_RAISE(kQamInputError,
                I18NString("OutputFile is \"-\", but standard input was closed when the "
                           "program started: no text was given."));
    }
  } else {
    const std::string name(path.utf8());
    what = "the file \"" + name + "\" named by OutputFile";
    // A file opens or fails with the system's reason; a FIFO may have no
    // writer in time; and a path may name this program's own standard output
    // or error, whose reading would wait for the program itself. Each is its
    // own failure (kClosed is for standard input only).
    platform::TextOpening opening = platform::TextOpening::kOpened;
    const platform::SystemError error =
        platform::OpenTextFile(name, limits.fifoWriterWaitMilliseconds, &source, &opening);
    if (error != 0) {
      QAM_RAISE(
          kQamInputError,
          I18NString::FromUtf8(platform::SystemErrorText("Could not open " + what, error) + "."));
    } else if (opening == platform::TextOpening::kOwnOutput) {
      QAM_RAISE(kQamInputError,
                I18NString::FromUtf8(
                    "The file \"" + name +
                    "\" named by OutputFile is this program's own standard output or error: "
                    "reading it would never end."));
    } else if (opening == platform::TextOpening::kNoWriter) {
      QAM_RAISE(kQamInputError,
                I18NString::FromUtf8("No program opened the FIFO \"" + name +
                                     "\" named by OutputFile for writing within " +
                                     WaitText(limits.fifoWriterWaitMilliseconds) + "."));
    }
  }
  std::string bytes = ReadAll(source, what, limits.maxTextBytes);
  DecodeCapturedBytes(bytes, encoding.c_str(), limits.maxTextBytes, what);
  return I18NString::FromValidUtf8(std::move(bytes));
}

I18NString MissingParameterText(const char* name, const char* meaning) {
  return I18NString::FromUtf8(std::string("The parameter ") + name +
                              " is missing or empty: it names " + meaning + ".");
}
