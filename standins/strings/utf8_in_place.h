// Turning bytes that are meant to be UTF-8 into well-formed UTF-8 in the
// buffer that holds them, in time linear in their size.
#ifndef QAMCVS_STANDINS_STRINGS_UTF8_IN_PLACE_H_
#define QAMCVS_STANDINS_STRINGS_UTF8_IN_PLACE_H_

#include <cstddef>
#include <string>

/// How bytes that are not valid UTF-8 are read.
enum class Utf8Reading {
  /// Every ill-formed sequence (each maximal part, as ICU's U8_NEXT reads
  /// it) becomes U+FFFD.
  kStrict,
  /// A line (ended by a line feed or a carriage return) that is valid UTF-8
  /// is kept; any other line is read as Windows-1252, its five undefined
  /// bytes as U+FFFD. Logs mix clients that wrote either.
  kLineByLineOrWindows1252,
};

/// Decodes bytes in place: the result is well-formed UTF-8 in which U+0000
/// has become U+FFFD (a NUL-terminated copy would end there). The buffer is
/// resized at most once, to the decoded size, and no other copy of the text
/// is made. Returns false, leaving bytes unchanged, when the decoded text
/// would be longer than maxBytes.
bool DecodeUtf8InPlace(std::string& bytes, Utf8Reading reading, std::size_t maxBytes);

#endif  // QAMCVS_STANDINS_STRINGS_UTF8_IN_PLACE_H_
