#include "QamCVSHistory.h"

#include <string>
#include <string_view>

#include "QamUtil.h"
#include "dom_escape.h"
#include "history_log.h"

// A revision block is read by one small matcher over its UTF-8 text, line by
// line (history_log.cpp): a blank matches any run of blanks, a word is a run
// of non-blanks, "[^;]" a run up to the next ";". The header lines (revision,
// date, an optional branches line) are one grammar with optional parts, so
// one scan of them yields every value; the values are slices of the entry.

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
    // Turning carriage returns into line feeds keeps UTF-8 well-formed.
    text = I18NString::FromValidUtf8(std::move(normalised));
  }
  qam_history::LogLayout layout = qam_history::FindRevisionBlocks(text.utf8());
  entries.reserve(layout.blocks.size());
  for (const auto& [begin, end] : layout.blocks) {
    if (end > begin) entries.push_back(text.SliceUtf8(begin, end));
  }
}

bool QamCVSHistory::ScanValues(unsigned index, qam_history::EntryFields* fields) const {
  std::string_view text = entries[index].utf8();
  if (!qam_history::ScanEntry(text, fields)) return false;
  std::string_view& comment = fields->comment;
  while (!comment.empty() && comment.back() == '\n') comment.remove_suffix(1);
  return true;
}

void QamCVSHistory::SliceValues(unsigned index, const qam_history::EntryFields& fields,
                                I18NString& revision, I18NString& author,
                                I18NString& dateTime) const {
  const I18NString& entry = entries[index];
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
    dateTime = slice(
        std::string_view(fields.date.data(), fields.date.size() + 1 + fields.time.size()));
  } else {
    dateTime = slice(fields.date);
    dateTime += " ";
    dateTime += slice(fields.time);
  }
}

bool QamCVSHistory::ParseEntry(unsigned index, I18NString& revision, I18NString& author,
                               I18NString& dateTime, I18NString& comment) {
  if (index >= entries.size()) return false;
  revision.erase(0, -1);
  author.erase(0, -1);
  dateTime.erase(0, -1);
  comment.erase(0, -1);
  qam_history::EntryFields fields;
  if (!ScanValues(index, &fields)) return false;
  SliceValues(index, fields, revision, author, dateTime);
  const I18NString& entry = entries[index];
  auto from = static_cast<std::size_t>(fields.comment.data() - entry.utf8().data());
  comment = entry.SliceUtf8(from, from + fields.comment.size());
  QamFormatterUtility::EscapeDOMChars(comment);
  return true;
}

void QamCVSHistory::ProceesOutPut() {
  // The log lists the newest revision first; the records go oldest first.
  // A comment without markup is a slice of its entry. The escaped comments
  // of the others lie one after another in two buffers, each record's
  // comment a slice of one, rather than each in a buffer of its own (most
  // of a long history's memory otherwise): one for the entries that are
  // ASCII, which slice in constant time, one for the rest. A buffer's room
  // beyond its text is never written, so it takes no memory. The entries
  // are read once, into a list that goes before the document is made.
  struct Scanned {
    unsigned index;
    bool ascii;
    std::size_t escapedSize;  // 0: the comment has no markup
    qam_history::EntryFields fields;
  };
  std::vector<Scanned> scanned;
  scanned.reserve(entries.size());
  std::string buffers[2];  // [ascii]
  for (std::size_t i = entries.size(); i-- > 0;) {
    const I18NString& entry = entries[i];
    Scanned scan{static_cast<unsigned>(i),
                 entry.utf8().size() == static_cast<std::size_t>(entry.length()), 0, {}};
    if (!ScanValues(scan.index, &scan.fields)) continue;
    std::string& buffer = buffers[scan.ascii];
    const std::size_t before = buffer.size();
    if (AppendEscapedDom(scan.fields.comment, &buffer)) scan.escapedSize = buffer.size() - before;
    scanned.push_back(scan);
  }
  // Well-formed UTF-8 with ASCII replaced by ASCII stays well-formed.
  const I18NString escaped[2] = {I18NString::FromValidUtf8(std::move(buffers[0])),
                                 I18NString::FromValidUtf8(std::move(buffers[1]))};

  I18NString revision;
  I18NString author;
  I18NString dateTime;
  I18NString comment;
  std::size_t used[2] = {0, 0};
  for (const Scanned& scan : scanned) {
    SliceValues(scan.index, scan.fields, revision, author, dateTime);
    if (scan.escapedSize == 0) {
      const I18NString& entry = entries[scan.index];
      auto from = static_cast<std::size_t>(scan.fields.comment.data() - entry.utf8().data());
      comment = entry.SliceUtf8(from, from + scan.fields.comment.size());
    } else {
      std::size_t& from = used[scan.ascii];
      comment = escaped[scan.ascii].SliceUtf8(from, from + scan.escapedSize);
      from += scan.escapedSize;
    }
    AddEntry(new QamHistoryRecord(author, revision, dateTime, comment));
  }
}
