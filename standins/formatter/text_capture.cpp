#include "text_capture.h"

#include <climits>
#include <string>

#include "QamUtil.h"
#include "encoding.h"
#include "platform.h"

namespace {

// I18NString holds at most 1 GiB; a larger log is refused before it is read whole.
constexpr std::size_t kMaxTextBytes = static_cast<std::size_t>(INT_MAX / 2);

std::string ReadAll(platform::TextSource& source, const std::string& what) {
  std::string bytes;
  // A log may be tens of megabytes: size the buffer once when the size is known.
  const long long size = source.KnownSize();
  if (size > 0 && static_cast<unsigned long long>(size) <= kMaxTextBytes) {
    bytes.reserve(static_cast<std::size_t>(size) + 1);
  }
  char chunk[64 * 1024];
  for (;;) {
    const long long got = source.Read(chunk, sizeof chunk);
    if (got < 0) {
      const int error = platform::LastSystemError();
      QAM_RAISE(kQamInputError,
                I18NString::FromUtf8(
                    platform::SystemErrorText("Could not read " + what, error) + "."));
    }
    bytes.append(chunk, static_cast<std::size_t>(got));
    if (bytes.size() > kMaxTextBytes) {
      QAM_RAISE(kQamInputError,
                I18NString::FromUtf8("The text in " + what +
                                     " is too large: more than 1 GiB is not supported."));
    }
    if (got == 0) break;
  }
  return bytes;
}

}  // namespace

I18NString DecodeToolText(std::string bytes, const char* encoding) {
  if (!IsUtf8EncodingName(encoding)) bytes = DecodeToUtf8(bytes, encoding);
  // UTF-8 holds a zero byte only for U+0000, which no text of the tools
  // carries; a NUL-terminated copy would be cut short there.
  for (std::size_t at = bytes.find('\0'); at != std::string::npos;
       at = bytes.find('\0', at + 3)) {
    bytes.replace(at, 1, "\xEF\xBF\xBD");
  }
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  return I18NString::FromUtf8(std::move(bytes));
}

I18NString CaptureToolText(const QamInputParams& params) {
  I18NString path = params.GetValueOf("OutputFile");
  if (path.empty()) {
    QAM_RAISE(kQamInputError,
              MissingParameterText("OutputFile",
                                   "the file that holds the version-control tool's text "
                                   "(\"-\" for standard input)"));
  }
  I18NString encodingName = params.GetValueOf("Encoding");
  std::string encoding = encodingName.empty() ? std::string(I18NGetPlatformDefaultEncoding())
                                              : std::string(encodingName.utf8());
  std::string bytes;
  if (path == "-") {
    platform::TextSource input = platform::StandardInputText();
    bytes = ReadAll(input, "standard input");
  } else {
    const std::string name(path.utf8());
    platform::TextSource file;
    if (!platform::OpenTextFile(name, &file)) {
      const int error = platform::LastSystemError();
      QAM_RAISE(kQamInputError,
                I18NString::FromUtf8(
                    platform::SystemErrorText(
                        "Could not open the file \"" + name + "\" named by OutputFile", error) +
                    "."));
    }
    bytes = ReadAll(file, "the file \"" + name + "\" named by OutputFile");
  }
  return DecodeToolText(std::move(bytes), encoding.c_str());
}

I18NString MissingParameterText(const char* name, const char* meaning) {
  return I18NString::FromUtf8(std::string("The parameter ") + name +
                              " is missing or empty: it names " + meaning + ".");
}
