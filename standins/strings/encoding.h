// Conversions between UTF-8 and other encodings, through ICU converters.
#ifndef QAMCVS_STANDINS_STRINGS_ENCODING_H_
#define QAMCVS_STANDINS_STRINGS_ENCODING_H_

#include <cstddef>
#include <string>
#include <string_view>

/// True for the names of UTF-8 ("UTF-8", "utf8", ...) as ICU matches
/// converter names: in any case, with only the letters and digits counting.
bool IsUtf8EncodingName(const char* name);
/// True for "ucs-2", matched the same way (NUL-terminated UTF-16 units in the
/// host's byte order).
bool IsUcs2EncodingName(const char* name);

/// Decodes bytes in the named ICU encoding into well-formed UTF-8. Invalid
/// or unmappable sequences become U+FFFD. Raises PYLException for a name that
/// ICU does not know.
std::string DecodeToUtf8(std::string_view bytes, const char* encoding);
/// As above, into *out; false (with *out holding a part, or nothing) when
/// the text would be longer than maxBytes. A text that decodes to more bytes
/// than it has is measured first, so that only one buffer of its decoded
/// size is ever held.
bool DecodeToUtf8(std::string_view bytes, const char* encoding, std::size_t maxBytes,
                  std::string* out);

#endif  // QAMCVS_STANDINS_STRINGS_ENCODING_H_
