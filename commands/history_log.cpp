#include "history_log.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace qam_history {
namespace {

constexpr std::string_view kRevisionWord = "revision";
constexpr std::string_view kLockedBy = "locked by:";
constexpr std::string_view kDate = "date:";
constexpr std::string_view kAuthor = "author:";
constexpr std::string_view kState = "state:";
constexpr std::string_view kBranches = "branches:";
// cvs log, cvs rlog and rlog all open each file's header with this line, so
// after a closing line it tells that the next file's log begins.
constexpr std::string_view kFileHeader = "RCS file:";
constexpr std::string_view kTotalRevisions = "total revisions:";
constexpr std::string_view kSelectedRevisions = "selected revisions:";

// White space inside one line, as the C library's isspace sees it without the
// line feed. A lone carriage return counts as white space.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

bool IsSpace(char c) { return c == '\n' || IsBlank(c); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The position of the line feed that ends the line holding from, or the
// text's size when no line feed follows.
std::size_t LineFeedAt(std::string_view text, std::size_t from) {
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
  // A revision or branch number: digits, and dots between runs of digits.
  bool Number(std::string_view* out) {
    std::size_t begin = at_;
    for (;;) {
      std::size_t digits = at_;
      while (at_ < line_.size() && IsDigit(line_[at_])) ++at_;
      if (at_ == digits) {
        at_ = begin;
        return false;
      }
      if (at_ + 1 < line_.size() && line_[at_] == '.' && IsDigit(line_[at_ + 1])) {
        ++at_;
      } else {
        break;
      }
    }
    *out = line_.substr(begin, at_ - begin);
    return true;
  }
  // A count: at most nine digits, so that it fits.
  bool Count(std::size_t* out) {
    std::size_t begin = at_;
    std::size_t value = 0;
    while (at_ < line_.size() && IsDigit(line_[at_]) && at_ - begin < 9) {
      value = value * 10 + static_cast<std::size_t>(line_[at_++] - '0');
    }
    *out = value;
    return at_ > begin && (at_ == line_.size() || !IsDigit(line_[at_]));
  }
  bool AtEnd() {
    SkipBlanks();
    return at_ == line_.size();
  }
  std::size_t Position() const { return at_; }
  void MoveTo(std::size_t at) { at_ = at; }
  std::string_view Rest() const { return line_.substr(at_); }

 private:
  std::string_view line_;
  std::size_t at_;
};

// True when rest holds nothing but "name: value" fields, each ended by ";"
// but the last: what rlog 5.10 prints after the numbers of a branches line
// ("; commitid: ..."). Empty fields (rlog's ";;") are allowed.
bool OnlyFields(std::string_view rest) {
  std::size_t at = 0;
  for (;;) {
    std::size_t stop = rest.find(';', at);
    if (stop == std::string_view::npos) stop = rest.size();
    std::size_t begin = at;
    while (begin < stop && IsBlank(rest[begin])) ++begin;
    if (begin < stop) {
      std::size_t name = begin;
      while (name < stop && IsLetter(rest[name])) ++name;
      if (name == begin || name == stop || rest[name] != ':') return false;
    }
    if (stop == rest.size()) return true;
    at = stop + 1;
  }
}

// "revision 1.2", or for a locked revision "revision 1.2\tlocked by: alice;".
bool ReadRevisionLine(std::string_view line, std::string_view* number) {
  LineCursor cursor(line, 0);
  if (!cursor.Literal(kRevisionWord)) return false;
  std::size_t word = cursor.Position();
  cursor.SkipBlanks();
  if (cursor.Position() == word || !cursor.Number(number)) return false;
  cursor.SkipBlanks();
  if (cursor.Literal(kLockedBy)) {
    cursor.SkipBlanks();
    std::string_view locker;
    if (!cursor.UpToSemicolon(&locker)) return false;
  }
  return cursor.AtEnd();
}

// "branches:" and one or more branch numbers, each ended by ";", then
// fields ("branches:  1.2.2;  1.2.4;", "branches:  1.2.2;; commitid: ...").
bool IsBranchesLine(std::string_view line) {
  LineCursor cursor(line, 0);
  if (!cursor.Literal(kBranches)) return false;
  int branches = 0;
  for (;;) {
    std::size_t before = cursor.Position();
    cursor.SkipBlanks();
    std::string_view number;
    if (!cursor.Number(&number) || !cursor.Literal(";")) {
      cursor.MoveTo(before);
      break;
    }
    ++branches;
  }
  return branches > 0 && OnlyFields(cursor.Rest());
}

// "total revisions: 5;\tselected revisions: 3", or without the selection
// ("total revisions: 5", rlog -h): how many revision blocks follow.
bool ReadRevisionCount(std::string_view line, std::size_t* count) {
  LineCursor cursor(line, 0);
  std::size_t total = 0;
  if (!cursor.Literal(kTotalRevisions)) return false;
  cursor.SkipBlanks();
  if (!cursor.Count(&total)) return false;
  cursor.SkipBlanks();
  std::size_t selected = total;
  if (cursor.Literal(";")) {
    cursor.SkipBlanks();
    if (!cursor.Literal(kSelectedRevisions)) return false;
    cursor.SkipBlanks();
    if (!cursor.Count(&selected)) return false;
  }
  if (!cursor.AtEnd()) return false;
  *count = selected;
  return true;
}

// cvs prints a file's description as stored; when it has no final line
// feed, the separator before the newest revision ends its last line.
bool EndsWithSeparator(std::string_view line) {
  return line.size() > kSeparatorLine.size() &&
         line.substr(line.size() - kSeparatorLine.size()) == kSeparatorLine;
}

std::string_view LineAt(std::string_view text, std::size_t at) {
  return at < text.size() ? text.substr(at, LineFeedAt(text, at) - at) : std::string_view();
}

// How a pass over the lines treats the header's count of blocks.
enum class CountRule {
  kIgnored,  // cut at every separator, as for a log without a count
  kFollowed,  // no more blocks than counted, a number once, pasted logs are text
  kFollowedWithoutPastedLogs,  // the same, but an "RCS file:" line opens nothing
};

// What a pass saw besides the blocks.
struct PassNotes {
  std::size_t expected = std::string_view::npos;  // the blocks the header counts
  bool fileHeaderInBlock = false;  // an "RCS file:" line that did not end the log
  bool numberAgain = false;        // a block of a revision number taken before
  bool pastedSeparator = false;    // a separator passed over inside a pasted log
};

// Compares two revision numbers field by field, each field as a whole
// number of any length: negative, zero or positive.
int CompareRevisions(std::string_view a, std::string_view b) {
  for (;;) {
    std::size_t aDot = std::min(a.find('.'), a.size());
    std::size_t bDot = std::min(b.find('.'), b.size());
    std::string_view aField = a.substr(0, aDot);
    std::string_view bField = b.substr(0, bDot);
    while (aField.size() > 1 && aField[0] == '0') aField.remove_prefix(1);
    while (bField.size() > 1 && bField[0] == '0') bField.remove_prefix(1);
    if (aField.size() != bField.size()) return aField.size() < bField.size() ? -1 : 1;
    if (int order = aField.compare(bField); order != 0) return order;
    if (aDot == a.size() || bDot == b.size()) {
      return (aDot < a.size()) - (bDot < b.size());
    }
    a.remove_prefix(aDot + 1);
    b.remove_prefix(bDot + 1);
  }
}

bool OnTrunk(std::string_view number) { return std::count(number.begin(), number.end(), '.') == 1; }

// cvs, rlog and CVSNT print the trunk from the head down, then the
// revisions of the branches: whether a block of revision later may come
// after one of revision earlier.
bool MayFollow(std::string_view earlier, std::string_view later) {
  if (!OnTrunk(later)) return true;
  return OnTrunk(earlier) && CompareRevisions(later, earlier) < 0;
}

// A separator line followed by a revision line, as a counted pass met it.
struct SeparatorMet {
  std::size_t separator;    // where the separator's line begins
  std::size_t revision;     // where the revision line begins
  std::string_view number;  // the revision number, a view into the text
  bool opened;              // whether the pass opened a block there
};

// A counted pass opens a block at each separator that keeps the count and
// a number once, the earliest first. A log pasted into a message without
// its "RCS file:" header ("revision 1.6", "1.4", ... "1.1") can make that
// reading wrong: a pasted block opened out of the printing order, or one
// that fits it taken too early, so that the real block of its number, just
// before the closing line, hides in the pasted one's comment and the
// separators passed over lie in two places. Then the reading with every
// passed-over separator in one place (the pasted text inside one comment,
// the last block ending at the closing line) that keeps the printing order
// and at least as many blocks replaces *layout; of several, the one with
// the most blocks, then the one whose pasted text starts latest. The first
// block is always real. Linear in the separators met.
void ReadPastedSeparatorsAsOneRun(const std::vector<SeparatorMet>& met, std::size_t expected,
                                  std::size_t closing, LogLayout* layout) {
  const std::size_t all = met.size();
  std::size_t kept = 0;
  std::size_t runs = 0;
  bool ordered = true;
  std::string_view lastKept;
  for (std::size_t i = 0; i < all; ++i) {
    if (met[i].opened) {
      ordered = ordered && (kept == 0 || MayFollow(lastKept, met[i].number));
      lastKept = met[i].number;
      ++kept;
    } else if (i == 0 || met[i - 1].opened) {
      ++runs;
    }
  }
  if (kept == 0 || (ordered && runs < 2) || closing == std::string_view::npos ||
      closing < met.back().revision) {
    return;
  }
  // A reading keeps the first `front` separators met and the last `back`,
  // passing over those between. The longest valid front comes first; as
  // it shrinks, the back can only grow.
  std::unordered_set<std::string_view> frontNumbers;
  std::size_t front = 0;
  while (front < all && front < expected &&
         (front == 0 || MayFollow(met[front - 1].number, met[front].number)) &&
         frontNumbers.insert(met[front].number).second) {
    ++front;
  }
  std::unordered_set<std::string_view> backNumbers;
  std::size_t back = 0;   // the back is met[all - back, all)
  bool backEnds = false;  // the back cannot grow, whatever the front
  std::size_t bestFront = 0;
  std::size_t bestBack = 0;
  while (front > 0) {
    while (!backEnds && front + back < expected && all - back - 1 >= front) {
      const std::size_t i = all - back - 1;
      if ((back > 0 && !MayFollow(met[i].number, met[i + 1].number)) ||
          backNumbers.count(met[i].number) != 0) {
        backEnds = true;
      } else if (frontNumbers.count(met[i].number) != 0 ||
                 !MayFollow(met[front - 1].number, met[i].number)) {
        break;  // a shorter front may let it in
      } else {
        backNumbers.insert(met[i].number);
        ++back;
      }
    }
    if (front + back > bestFront + bestBack) {
      bestFront = front;
      bestBack = back;
    }
    --front;
    if (front > 0) frontNumbers.erase(met[front].number);
  }
  if (bestFront + bestBack < kept) return;
  LogLayout reading;
  reading.blocks.reserve(bestFront + bestBack);
  for (std::size_t i = 0; i < bestFront; ++i) {
    std::size_t end = i + 1 < bestFront ? met[i + 1].separator
                      : bestBack > 0    ? met[all - bestBack].separator
                                        : closing;
    reading.blocks.emplace_back(met[i].revision, end);
  }
  for (std::size_t i = all - bestBack; i < all; ++i) {
    std::size_t end = i + 1 < all ? met[i + 1].separator : closing;
    reading.blocks.emplace_back(met[i].revision, end);
  }
  *layout = std::move(reading);
}

// One pass over the lines of text; see FindRevisionBlocks.
LogLayout CutRevisionBlocks(std::string_view text, CountRule count, PassNotes* notes) {
  LogLayout layout;
  constexpr std::size_t kNone = std::string_view::npos;
  std::size_t& expected = notes->expected;
  const bool counted = count != CountRule::kIgnored;
  // The revision numbers of the blocks taken, when counted: views into
  // the text, tens of thousands in a long log.
  std::unordered_set<std::string_view> numbers;
  std::vector<SeparatorMet> met;  // when counted
  std::size_t blockBegin = kNone;
  std::size_t closing = kNone;
  bool inPastedLog = false;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = LineFeedAt(text, at);
    std::string_view line = text.substr(at, end - at);
    std::size_t next = end < text.size() ? end + 1 : text.size();
    const bool started = blockBegin != kNone;
    const std::size_t taken = layout.blocks.size() + (started ? 1 : 0);
    std::string_view number;
    if ((line == kSeparatorLine || (!started && EndsWithSeparator(line))) &&
        ReadRevisionLine(LineAt(text, next), &number)) {
      bool block = true;
      if (!counted && expected != kNone) {
        if (!numbers.insert(number).second) notes->numberAgain = true;
      } else if (counted && expected != kNone) {
        notes->pastedSeparator = notes->pastedSeparator || inPastedLog;
        block = taken < expected && !inPastedLog && numbers.insert(number).second;
        if (!inPastedLog) met.push_back({at, next, number, block});
      }
      if (block) {
        if (started) layout.blocks.emplace_back(blockBegin, at);
        blockBegin = next;
        closing = kNone;
      }
    } else if (line == kClosingLine) {
      if (inPastedLog) {
        inPastedLog = false;
      } else {
        closing = at;
      }
    } else if (line.substr(0, kFileHeader.size()) == kFileHeader) {
      // After a closing line: the next file's log, unless this file's
      // blocks are still to come; then the closing line and this header
      // were pasted into a comment, as is a header inside a block. A file
      // that printed no block at all (a trimmed log can go from its
      // description straight to its closing line, whatever it counts)
      // has no comment to paste into.
      const bool pasted = counted && expected != kNone && count == CountRule::kFollowed;
      if (closing != kNone && (!pasted || taken >= expected || taken == 0)) break;
      if (started) notes->fileHeaderInBlock = true;
      if (started && pasted) {
        closing = kNone;
        inPastedLog = true;
      }
    } else if (!started && closing == kNone && expected == kNone &&
               ReadRevisionCount(line, &expected)) {
      // A log holds no more separators than lines of 28 hyphens fit in it.
      numbers.reserve(std::min(expected, text.size() / 29));
    }
    at = next;
  }
  if (blockBegin != kNone) {
    std::size_t blockEnd = closing != kNone ? closing : text.size();
    if (blockEnd > blockBegin) layout.blocks.emplace_back(blockBegin, blockEnd);
  }
  if (counted && expected != kNone) ReadPastedSeparatorsAsOneRun(met, expected, closing, &layout);
  return layout;
}

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
  // The log as printed: when it has as many blocks as its header counts, no
  // revision number twice and no "RCS file:" line inside the blocks, no
  // log was pasted into a comment.
  PassNotes notes;
  LogLayout layout = CutRevisionBlocks(text, CountRule::kIgnored, &notes);
  if (notes.expected == std::string_view::npos ||
      (layout.blocks.size() == notes.expected && !notes.fileHeaderInBlock &&
       !notes.numberAgain)) {
    return layout;
  }
  notes = PassNotes();
  layout = CutRevisionBlocks(text, CountRule::kFollowed, &notes);
  // A comment line that merely begins with "RCS file:" opens no pasted log,
  // and a log may hold fewer blocks than counted: when following pasted
  // logs left blocks of the count missing, cut the text again without.
  if (notes.pastedSeparator && layout.blocks.size() < notes.expected) {
    LogLayout plain = CutRevisionBlocks(text, CountRule::kFollowedWithoutPastedLogs, &notes);
    if (plain.blocks.size() >= layout.blocks.size()) return plain;
  }
  return layout;
}

bool ScanEntry(std::string_view entry, EntryFields* fields) {
  *fields = EntryFields();
  // The revision line must open the entry; no white space before it.
  std::size_t revisionEnd = LineFeedAt(entry, 0);
  if (!ReadRevisionLine(entry.substr(0, revisionEnd), &fields->revision)) return false;

  std::size_t at = revisionEnd;
  while (at < entry.size() && IsSpace(entry[at])) ++at;
  if (!StartsWithAt(entry, at, kDate)) return false;
  std::size_t dateEnd = LineFeedAt(entry, at);
  LineCursor dateLine(entry.substr(0, dateEnd), at + kDate.size());
  dateLine.SkipBlanks();
  if (!dateLine.Word(&fields->date)) return false;
  dateLine.SkipBlanks();
  // The line is known by its start; whatever follows the state is its
  // fields, to the end of the line. cvs and rlog print "lines: +1 -0" and
  // "commitid: ...;" there; CVSNT adds "kopt:", "mergepoint:", "filename:"
  // and "bugid:", each printed as "  name: value;" with the value as
  // stored, so a bug list ("1234;5678") or a Windows file name may hold ";".
  std::string_view state;
  if (!dateLine.UpToSemicolon(&fields->time) || !dateLine.Field(kAuthor, &fields->author) ||
      !dateLine.Field(kState, &state)) {
    return false;
  }

  // A branches line follows the date line of a revision where a branch
  // starts; rlog 5.10 also puts the commit id on it. It is header, not
  // comment; a comment whose first line merely begins with "branches:" is
  // comment text.
  at = dateEnd < entry.size() ? dateEnd + 1 : entry.size();
  std::size_t branchesEnd = LineFeedAt(entry, at);
  if (IsBranchesLine(entry.substr(at, branchesEnd - at))) {
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
