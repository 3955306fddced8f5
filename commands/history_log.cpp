#include "history_log.h"

#include <cstring>

namespace qam_history {
namespace {

constexpr std::string_view kRevisionWord = "revision";
constexpr std::string_view kRevisionLineStart = "revision ";
constexpr std::string_view kLockedBy = "locked by:";
constexpr std::string_view kDate = "date:";
constexpr std::string_view kAuthor = "author:";
constexpr std::string_view kState = "state:";
constexpr std::string_view kBranches = "branches:";
// cvs log, cvs rlog and rlog all open each file's header with this line, so
// after a closing line it tells that the next file's log begins.
constexpr std::string_view kFileHeader = "RCS file:";

// White space inside one line, as the C library's isspace sees it without the
// line feed. A lone carriage return counts as white space.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

bool IsSpace(char c) { return c == '\n' || IsBlank(c); }

std::size_t LineEnd(std::string_view text, std::size_t from) {
  if (from >= text.size()) return text.size();
  const void* hit = std::memchr(text.data() + from, '\n', text.size() - from);
  return hit == nullptr ? text.size()
                        : static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
}

bool StartsWithAt(std::string_view text, std::size_t at, std::string_view word) {
  return at <= text.size() && text.substr(at).substr(0, word.size()) == word;
}

// A cursor over one line of the header, with the matching rules of a scanf
// format: a blank in the format skips any run of blanks (none included), a
// string conversion reads a non-empty run of non-blank characters, a scan set
// "[^;]" reads a non-empty run up to the next ";". Nothing reads past the
// line's end, so a header field never swallows the next line.
class LineCursor {
 public:
  LineCursor(std::string_view line, std::size_t at) : line_(line), at_(at) {}

  void SkipBlanks() {
    while (at_ < line_.size() && IsBlank(line_[at_])) ++at_;
  }
  bool Literal(std::string_view word) {
    if (!StartsWithAt(line_, at_, word)) return false;
    at_ += word.size();
    return true;
  }
  bool Word(std::string_view* out) {
    std::size_t begin = at_;
    while (at_ < line_.size() && !IsBlank(line_[at_])) ++at_;
    *out = line_.substr(begin, at_ - begin);
    return !out->empty();
  }
  // Reads up to the next ";" and moves past it; false without a ";".
  bool UpToSemicolon(std::string_view* out) {
    std::size_t stop = line_.find(';', at_);
    if (stop == std::string_view::npos || stop == at_) return false;
    *out = line_.substr(at_, stop - at_);
    at_ = stop + 1;
    return true;
  }
  // A "name: value;" field, white space before the name and value skipped.
  bool Field(std::string_view name, std::string_view* value) {
    SkipBlanks();
    if (!Literal(name)) return false;
    SkipBlanks();
    return UpToSemicolon(value);
  }
  std::string_view Rest() const { return line_.substr(at_); }

 private:
  std::string_view line_;
  std::size_t at_;
};

}  // namespace

bool NormaliseLineEnds(std::string_view text, std::string* out) {
  // A lone carriage return (an old Mac line end, or one pasted into a
  // message) ends a line as well: no record value may hold one.
  std::size_t cr = text.find('\r');
  if (cr == std::string_view::npos) return false;
  std::string result;
  result.reserve(text.size());
  std::size_t from = 0;
  while (cr != std::string_view::npos) {
    result.append(text, from, cr - from);
    result += '\n';
    from = cr + 1;
    if (from < text.size() && text[from] == '\n') ++from;
    cr = text.find('\r', from);
  }
  result.append(text, from, std::string_view::npos);
  *out = std::move(result);
  return true;
}

LogLayout FindRevisionBlocks(std::string_view text) {
  // One pass over the lines. A separator counts only when the next line
  // begins with "revision ", so a comment line of hyphens stays comment text.
  // A closing line is only a candidate: it closes the log when nothing but
  // the next file's header or the end of the text follows it; a separator or
  // another closing line after it shows that it was comment text.
  LogLayout layout;
  constexpr std::size_t kNone = std::string_view::npos;
  std::size_t blockBegin = kNone;
  std::size_t closing = kNone;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = LineEnd(text, at);
    std::string_view line = text.substr(at, end - at);
    std::size_t next = end < text.size() ? end + 1 : text.size();
    if (line == kSeparatorLine && StartsWithAt(text, next, kRevisionLineStart)) {
      if (layout.bodyBegin == kNone) layout.bodyBegin = at;
      if (blockBegin != kNone) layout.blocks.emplace_back(blockBegin, at);
      blockBegin = next;
      closing = kNone;
    } else if (line == kClosingLine) {
      closing = at;
    } else if (closing != kNone && line.substr(0, kFileHeader.size()) == kFileHeader) {
      break;
    }
    at = next;
  }
  if (blockBegin != kNone) {
    std::size_t blockEnd = closing != kNone ? closing : text.size();
    if (blockEnd > blockBegin) layout.blocks.emplace_back(blockBegin, blockEnd);
  }
  return layout;
}

bool ScanEntry(std::string_view entry, EntryFields* fields) {
  *fields = EntryFields();
  // The word "revision" must open the entry; no white space before it.
  if (!StartsWithAt(entry, 0, kRevisionWord)) return false;
  std::size_t revisionEnd = LineEnd(entry, 0);
  LineCursor revisionLine(entry.substr(0, revisionEnd), kRevisionWord.size());
  revisionLine.SkipBlanks();
  if (!revisionLine.Word(&fields->revision)) return false;
  // rlog and cvs put a tab and "locked by: NAME;" after a locked revision.
  revisionLine.SkipBlanks();
  if (revisionLine.Literal(kLockedBy)) {
    revisionLine.SkipBlanks();
    std::string_view locker;
    if (!revisionLine.UpToSemicolon(&locker)) return false;
  }

  std::size_t at = revisionEnd;
  while (at < entry.size() && IsSpace(entry[at])) ++at;
  if (!StartsWithAt(entry, at, kDate)) return false;
  std::size_t dateEnd = LineEnd(entry, at);
  LineCursor dateLine(entry.substr(0, dateEnd), at + kDate.size());
  dateLine.SkipBlanks();
  if (!dateLine.Word(&fields->date)) return false;
  dateLine.SkipBlanks();
  std::string_view state;
  if (!dateLine.UpToSemicolon(&fields->time) || !dateLine.Field(kAuthor, &fields->author) ||
      !dateLine.Field(kState, &state)) {
    return false;
  }

  // A "branches:" line follows the date line of a revision where a branch
  // starts; rlog 5.10 also puts the commit id on it. It is header, not comment.
  at = dateEnd < entry.size() ? dateEnd + 1 : entry.size();
  if (StartsWithAt(entry, at, kBranches)) {
    std::size_t branchesEnd = LineEnd(entry, at);
    at = branchesEnd < entry.size() ? branchesEnd + 1 : entry.size();
  }
  // White space before the comment (blank lines, the first line's
  // indentation) is not part of it; every line from the first non-blank
  // character on is.
  while (at < entry.size() && IsSpace(entry[at])) ++at;
  fields->comment = entry.substr(at);
  return true;
}

}  // namespace qam_history
