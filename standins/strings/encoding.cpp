#include "encoding.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <limits>
#include <memory>

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

}  // namespace

bool IsUtf8EncodingName(const char* name) { return ucnv_compareNames(name, "UTF-8") == 0; }

bool IsUcs2EncodingName(const char* name) { return ucnv_compareNames(name, "ucs-2") == 0; }

bool DecodeToUtf8(std::string_view bytes, const char* encoding, std::size_t maxBytes,
                  std::string* out) {
  Converter source = OpenConverter(encoding);
  Converter target = OpenConverter("UTF-8");
  UErrorCode error = U_ZERO_ERROR;
  ucnv_setToUCallBack(source.get(), SubstituteReplacementCharacter, nullptr, nullptr, nullptr,
                      &error);
  // Sized to the input: most texts come out about as long as they went in,
  // and the buffer doubles when they do not.
  out->resize(std::min(maxBytes, bytes.size() + 16));
  std::size_t written = 0;
  const char* next = bytes.data();
  const char* const end = bytes.data() + bytes.size();
  // ICU carries what it has decoded but not yet written in this pivot buffer
  // from one call to the next.
  UChar pivot[1024];
  UChar* pivotSource = pivot;
  UChar* pivotTarget = pivot;
  for (bool first = true;; first = false) {
    char* put = out->data() + written;
    error = U_ZERO_ERROR;
    ucnv_convertEx(target.get(), source.get(), &put, out->data() + out->size(), &next, end,
                   pivot, &pivotSource, &pivotTarget, pivot + sizeof pivot / sizeof pivot[0],
                   first, true, &error);
    written = static_cast<std::size_t>(put - out->data());
    if (error != U_BUFFER_OVERFLOW_ERROR) break;
    if (out->size() >= maxBytes) {
      out->resize(written);
      return false;
    }
    out->resize(std::min(maxBytes, 2 * out->size() + 16));
  }
  if (U_FAILURE(error)) {
    PYL_RAISE(kQamInputError, IcuFailureText("Could not decode the text as", encoding, error));
  }
  out->resize(written);
  return true;
}

std::string DecodeToUtf8(std::string_view bytes, const char* encoding) {
  std::string out;
  DecodeToUtf8(bytes, encoding, std::numeric_limits<std::size_t>::max() / 4, &out);
  return out;
}
