// Captures the version-control tool's text named by OutputFile.
#ifndef QAMCVS_STANDINS_FORMATTER_TEXT_CAPTURE_H_
#define QAMCVS_STANDINS_FORMATTER_TEXT_CAPTURE_H_

#include "I18NString.h"
#include "QamFormatter.h"

/// Reads the file named by OutputFile ("-": standard input) and decodes it
/// with Encoding (an ICU converter name, default UTF-8). A UTF-8 byte-order
/// mark at the start is dropped, invalid sequences and NUL characters become
/// U+FFFD. Raises when OutputFile is absent or empty, when the file cannot be
/// read (with the path and the system's reason) and for an unknown encoding.
I18NString CaptureToolText(const QamInputParams& params);

/// Decodes captured bytes as CaptureToolText does.
I18NString DecodeToolText(std::string bytes, const char* encoding);

/// "The parameter NAME is missing or empty: it names MEANING.", the message
/// of a required parameter that was not given.
I18NString MissingParameterText(const char* name, const char* meaning);

#endif  // QAMCVS_STANDINS_FORMATTER_TEXT_CAPTURE_H_
