#include "QamCVSHistory.h"

#include <new>
#include <string_view>

#include "QamUtil.h"
#include "history_log.h"

// How the entries are read. The layouts of a revision block were once read
// with four fixed wide-character scanf formats. Real logs break them: cvs
// 1.12 and CVSNT add fields to the date line, rlog 5.10 puts the commit id on
// the branches line, a revision can have both a branches line and a lines
// count, comments may hold the marker words. So the same rules (a blank
// matches any run of blanks, a word is a run of non-blanks, "[^;]" a run up
// to the next ";") are applied by a small matcher over the UTF-8 text, line
// by line, in history_log.cpp. It needs no UTF-16 or UTF-32 copy of the
// entry, no fixed-size buffer, and no NUL-terminated text, and it looks at
// the header lines only, so a log of any size is read in one linear pass.

QamCVSHistory::QamCVSHistory(QamInputParams& params) : QamHistory(params) {
  SplitLogIntoEntries();
}

QamCVSHistory::~QamCVSHistory() = default;

void QamCVSHistory::SplitLogIntoEntries() {
  // A log written with CR LF line ends (a copy that went through a Windows
  // tool) must give the records of the same log with LF ends, so the pairs
  // become line feeds before anything looks for lines.
  I18NString text(outputText);
  std::string normalised;
  if (qam_history::NormaliseLineEnds(text.utf8(), &normalised)) {
    text = I18NString::FromUtf8(normalised);
  }

  qam_history::LogLayout layout = qam_history::FindRevisionBlocks(text.utf8());
  if (layout.bodyBegin == std::string_view::npos) return;

  // Entries are slices of logBody and share its buffer. Slicing takes
  // character positions, so the byte offsets are counted into characters
  // in one forward pass (the blocks come in the order of the text).
  std::string_view bytes = text.utf8();
  const bool ascii = static_cast<std::size_t>(text.length()) == bytes.size();
  std::size_t counted = 0;
  int characters = 0;
  auto positionOf = [&](std::size_t byte) {
    if (ascii) return static_cast<int>(byte);
    for (; counted < byte; ++counted) {
      if ((static_cast<unsigned char>(bytes[counted]) & 0xC0) != 0x80) ++characters;
    }
    return characters;
  };
  const int bodyStart = positionOf(layout.bodyBegin);
  logBody = text.substring(bodyStart, -1);
  if (logBody.empty()) return;
  entries.reserve(layout.blocks.size());
  for (const auto& block : layout.blocks) {
    int begin = positionOf(block.first) - bodyStart;
    int end = positionOf(block.second) - bodyStart;
    I18NString entry = logBody.substring(begin, end);
    if (!entry.empty()) entries.push_back(entry);
  }
}

// The comment needs no buffer of its own: it is a slice of the entry.
void QamCVSHistory::InitialiseRecordVariables(I18NString& /*entry*/) {
  revisionBuffer.clear();
  authorBuffer.clear();
  lockerBuffer.clear();
  dateBuffer.clear();
  timeBuffer.clear();
}

bool QamCVSHistory::ParseEntry(unsigned index, I18NString& revision, I18NString& author,
                               I18NString& dateTime, I18NString& comment) {
  if (index >= entries.size()) return false;
  revision.erase(0, -1);
  author.erase(0, -1);
  dateTime.erase(0, -1);
  comment.erase(0, -1);
  I18NString entry(entries[index]);
  InitialiseRecordVariables(entry);

  // The layout is chosen from the header lines only: a comment that mentions
  // "branches:", "locked by:" or "lines:" must not decide how its revision
  // is read.
  qam_history::EntryFields markers;
  qam_history::ScanEntry(entry.utf8(), &markers);
  bool read;
  if (markers.branches) {
    read = ParseBranchesEntry(entry, revision, author, dateTime, comment);
  } else if (markers.locked) {
    read = ParseLockedEntry(entry, revision, author, dateTime, comment);
  } else if (markers.lines) {
    read = ParseLinesEntry(entry, revision, author, dateTime, comment);
  } else {
    read = ParsePlainEntry(entry, revision, author, dateTime, comment);
  }

  comment.trimTrailing(10);
  QamFormatterUtility::EscapeDOMChars(comment);
  return read;
}

bool QamCVSHistory::ParseBranchesEntry(I18NString& entry, I18NString& revision,
                                       I18NString& author, I18NString& dateTime,
                                       I18NString& comment) {
  return ReadEntry(Layout::kBranches, entry, revision, author, dateTime, comment);
}

bool QamCVSHistory::ParseLockedEntry(I18NString& entry, I18NString& revision,
                                     I18NString& author, I18NString& dateTime,
                                     I18NString& comment) {
  return ReadEntry(Layout::kLocked, entry, revision, author, dateTime, comment);
}

bool QamCVSHistory::ParseLinesEntry(I18NString& entry, I18NString& revision,
                                    I18NString& author, I18NString& dateTime,
                                    I18NString& comment) {
  return ReadEntry(Layout::kLines, entry, revision, author, dateTime, comment);
}

bool QamCVSHistory::ParsePlainEntry(I18NString& entry, I18NString& revision,
                                    I18NString& author, I18NString& dateTime,
                                    I18NString& comment) {
  return ReadEntry(Layout::kPlain, entry, revision, author, dateTime, comment);
}

bool QamCVSHistory::ReadEntry(Layout layout, I18NString& entry, I18NString& revision,
                              I18NString& author, I18NString& dateTime,
                              I18NString& comment) {
  qam_history::EntryFields fields;
  if (!qam_history::ScanEntry(entry.utf8(), &fields)) return false;
  // The branches line, the lock and the lines count are optional parts of
  // one header; each layout insists only on the marker it is named after.
  // The plain layout is what remains and takes any header.
  switch (layout) {
    case Layout::kBranches:
      if (!fields.branches) return false;
      break;
    case Layout::kLocked:
      if (!fields.locked) return false;
      break;
    case Layout::kLines:
      if (!fields.lines) return false;
      break;
    case Layout::kPlain:
      break;
  }
  revisionBuffer.assign(fields.revision);
  lockerBuffer.assign(fields.locker);
  dateBuffer.assign(fields.date);
  timeBuffer.assign(fields.time);
  authorBuffer.assign(fields.author);

  // The values are slices of the entry, sharing the log's buffer: a long
  // history then costs no allocation per value.
  std::string_view text = entry.utf8();
  auto slice = [&](std::string_view field) {
    auto from = static_cast<std::size_t>(field.data() - text.data());
    return entry.SliceUtf8(from, from + field.size());
  };
  revision = slice(fields.revision);
  author = slice(fields.author);
  // Date and time stand separated by exactly one blank, whatever separated
  // them in the log; the time keeps what follows it up to the ";" (cvs 1.12
  // prints the zone there).
  if (fields.time.data() == fields.date.data() + fields.date.size() + 1 &&
      fields.date.data()[fields.date.size()] == ' ') {
    auto from = static_cast<std::size_t>(fields.date.data() - text.data());
    dateTime = entry.SliceUtf8(from, from + fields.date.size() + 1 + fields.time.size());
  } else {
    dateTime = I18NString::FromUtf8(dateBuffer + " " + timeBuffer);
  }
  comment = slice(fields.comment);
  return true;
}

void QamCVSHistory::ProceesOutPut() {
  I18NString revision;
  I18NString author;
  I18NString dateTime;
  I18NString comment;
  // The log lists the newest revision first; the records go oldest first.
  for (std::size_t i = entries.size(); i-- > 0;) {
    if (!ParseEntry(static_cast<unsigned>(i), revision, author, dateTime, comment)) continue;
    auto* record = new (std::nothrow) QamHistoryRecord(author, revision, dateTime, comment);
    if (record == nullptr) break;
    AddEntry(record);
  }
}
