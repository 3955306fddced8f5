// Line-level reading of an RCS revision log, as cvs log, cvs rlog, rlog and
// CVSNT print it. These helpers work on UTF-8 bytes: every marker of the
// layout is ASCII, so a byte search never cuts a character in two.
#ifndef QAMCVS_COMMANDS_HISTORY_LOG_H_
#define QAMCVS_COMMANDS_HISTORY_LOG_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qam_history {

/// The separator that opens a revision block: 28 hyphens on a line of their own.
inline constexpr std::string_view kSeparatorLine = "----------------------------";
/// The line that closes a file's log: 77 equals signs on a line of their own.
inline constexpr std::string_view kClosingLine =
    "=============================================================================";

/// Copies text into *out with every CR LF pair, and every carriage return
/// left alone, turned into LF; returns false (and leaves *out alone) when
/// text holds no carriage return.
bool NormaliseLineEnds(std::string_view text, std::string* out);

/// Where the revision blocks of the first file's log lie in text (LF ends).
struct LogLayout {
  /// [begin, end) byte ranges of the revision blocks, in the order of the
  /// log: each from its revision line up to the next separator line or the
  /// closing line, the line feed before them included. Never empty.
  std::vector<std::pair<std::size_t, std::size_t>> blocks;
};

/// Finds the revision blocks of the first file's log in text; linear in
/// text. A separator opens a block only when a revision line follows it;
/// the first one may end the description's last line. When the header
/// gives a count ("selected revisions: N", else "total revisions: N"), no
/// more blocks than that are cut, no revision number twice, and a log
/// pasted into a comment stays comment text, told from the real blocks by
/// the count, the order cvs prints revisions in and the closing line.
LogLayout FindRevisionBlocks(std::string_view text);

/// The values of one revision block, as views into the block's text.
struct EntryFields {
  std::string_view revision;
  std::string_view date;
  std::string_view time;  // up to the ";" after it, as printed
  std::string_view author;
  std::string_view comment;  // every line after the header lines
};

/// Reads the header lines of a revision block (the revision line, the date
/// line, an optional branches line, each known by its whole syntax) into
/// *fields, the rest being the comment. False when the header does not
/// have that shape.
bool ScanEntry(std::string_view entry, EntryFields* fields);

}  // namespace qam_history

#endif  // QAMCVS_COMMANDS_HISTORY_LOG_H_
