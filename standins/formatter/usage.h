// The texts of --help and --version.
#ifndef QAMCVS_STANDINS_FORMATTER_USAGE_H_
#define QAMCVS_STANDINS_FORMATTER_USAGE_H_

/// The --help text, ending in a line feed.
const char* QamUsageText();
/// "qamcvs VERSION" and a line feed.
const char* QamVersionText();

#endif  // QAMCVS_STANDINS_FORMATTER_USAGE_H_
