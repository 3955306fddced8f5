// Captures the version-control tool's text named by OutputFile.
#ifndef QAMCVS_STANDINS_FORMATTER_TEXT_CAPTURE_H_
#define QAMCVS_STANDINS_FORMATTER_TEXT_CAPTURE_H_

#include <cstddef>
#include <string>

#include "I18NString.h"
#include "QamFormatter.h"

/// What one capture may take.
struct CaptureLimits {
  /// The longest text, in bytes of UTF-8: 1 GiB, the most an I18NString
  /// holds. A file known to be longer is refused before it is read.
  std::size_t maxTextBytes = 1073741823;
  /// How long to wait for a program to open a FIFO named by OutputFile for
  /// writing.
  int fifoWriterWaitMilliseconds = 60 * 1000;
};

/// Reads the file named by OutputFile ("-": standard input) and decodes it.
/// With Encoding (an ICU converter name) the text is read in that encoding;
/// without, each line that is valid UTF-8 is taken as UTF-8 and any other
/// line as Windows-1252. A UTF-8 byte-order mark at the start is dropped,
/// invalid sequences and NUL characters become U+FFFD. Raises when
/// OutputFile is absent or empty, when the file cannot be opened or read
/// (with the path and the system's reason), when it is this program's own
/// standard output, when no program writes to a FIFO in time, when the text
/// is over the limit (naming the file and the limit) and for an unknown
/// encoding.
I18NString CaptureToolText(const QamInputParams& params,
                           const CaptureLimits& limits = CaptureLimits());

/// Decodes captured bytes as CaptureToolText does; a null or empty encoding
/// is the default reading.
I18NString DecodeToolText(std::string bytes, const char* encoding);

/// "The parameter NAME is missing or empty: it names MEANING.", the message
/// of a required parameter that was not given.
I18NString MissingParameterText(const char* name, const char* meaning);

#endif  // QAMCVS_STANDINS_FORMATTER_TEXT_CAPTURE_H_
