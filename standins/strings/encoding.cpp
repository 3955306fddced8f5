#include "encoding.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <stdexcept>

#include "PYLException.h"

namespace {

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// Writes U+FFFD for every illegal, irregular or unassigned input sequence:
// ICU's own substitution writes U+001A for legacy code pages.
void SubstituteReplacementCharacter(const void*, UConverterToUnicodeArgs* args,
                                    const char*, int32_t,
                                    UConverterCallbackReason reason,
                                    UErrorCode* error) {
  if (reason > UCNV_IRREGULAR) return;
  static const UChar kReplacement = 0xFFFD;
  *error = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, error);
}

// "what "ENCODING": ICU's error name."
I18NString IcuFailureText(const char* what, const char* encoding, UErrorCode error) {
  return I18NString::FromUtf8(std::string(what) + " \"" + encoding + "\": " + u_errorName(error) +
                              ".");
}

Converter OpenConverter(const char* encoding) {
  UErrorCode error = U_ZERO_ERROR;
  Converter converter(ucnv_open(encoding, &error));
  if (U_FAILURE(error) || !converter) {
    PYL_RAISE(kQamInputError, IcuFailureText("The encoding is not known", encoding, error));
  }
  return converter;
}

// Converts the whole of bytes from encoding to UTF-8 into sink[0, room),
// stopping with *full set when that room runs out. With sink null it writes
// nothing and counts what would come out, through a small buffer, stopping
// once the count passes maxBytes. Returns the bytes written or counted.
std::size_t ConvertToUtf8(std::string_view bytes, const char* encoding, char* sink,
                          std::size_t room, std::size_t maxBytes, bool* full) {
  Converter source = OpenConverter(encoding);
  Converter target = OpenConverter("UTF-8");
  UErrorCode error = U_ZERO_ERROR;
  ucnv_setToUCallBack(source.get(), SubstituteReplacementCharacter, nullptr, nullptr, nullptr,
                      &error);
  char scratch[4096];
  char* const begin = sink != nullptr ? sink : scratch;
  char* const limit = sink != nullptr ? sink + room : scratch + sizeof scratch;
  std::size_t counted = 0;
  const char* next = bytes.data();
  const char* const end = bytes.data() + bytes.size();
  // ICU carries what it has decoded but not yet written in this pivot buffer
  // from one call to the next.
  UChar pivot[1024];
  UChar* pivotSource = pivot;
  UChar* pivotTarget = pivot;
  char* put = begin;
  for (bool first = true;; first = false) {
    error = U_ZERO_ERROR;
    ucnv_convertEx(target.get(), source.get(), &put, limit, &next, end, pivot, &pivotSource,
                   &pivotTarget, pivot + sizeof pivot / sizeof pivot[0], first, true, &error);
    if (error != U_BUFFER_OVERFLOW_ERROR || sink != nullptr) break;
    counted += static_cast<std::size_t>(put - begin);
    put = begin;
    if (counted > maxBytes) return counted;
  }
  *full = error == U_BUFFER_OVERFLOW_ERROR;
  if (!*full && U_FAILURE(error)) {
    PYL_RAISE(kQamInputError, IcuFailureText("Could not decode the text as", encoding, error));
  }
  return counted + static_cast<std::size_t>(put - begin);
}

}  // namespace

bool IsUtf8EncodingName(const char* name) { return ucnv_compareNames(name, "UTF-8") == 0; }

bool IsUcs2EncodingName(const char* name) { return ucnv_compareNames(name, "ucs-2") == 0; }

bool DecodeToUtf8(std::string_view bytes, const char* encoding, std::size_t maxBytes,
                  std::string* out) {
  // Sized to the input: most texts come out about as long as they went in.
  // One that comes out longer is measured and converted again into a
  // buffer of its size: growing a buffer of megabytes would hold the old
  // and the new one, and the input besides, at once.
  out->resize(std::min(maxBytes, bytes.size() + 16));
  bool full = false;
  std::size_t written = ConvertToUtf8(bytes, encoding, out->data(), out->size(), maxBytes, &full);
  if (full) {
    std::string().swap(*out);
    const std::size_t total = ConvertToUtf8(bytes, encoding, nullptr, 0, maxBytes, &full);
    if (total > maxBytes) return false;
    out->resize(total);
    written = ConvertToUtf8(bytes, encoding, out->data(), out->size(), maxBytes, &full);
    if (full || written != total) throw std::logic_error("the decoded text changed its length");
  }
  out->resize(written);
  return true;
}

std::string DecodeToUtf8(std::string_view bytes, const char* encoding) {
  std::string out;
  DecodeToUtf8(bytes, encoding, std::numeric_limits<std::size_t>::max() / 4, &out);
  return out;
}
