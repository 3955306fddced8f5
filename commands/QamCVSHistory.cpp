#include "QamCVSHistory.h"

#include <string>
#include <string_view>

#include "QamUtil.h"
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

bool QamCVSHistory::ParseEntry(unsigned index, I18NString& revision, I18NString& author,
                               I18NString& dateTime, I18NString& comment) {
  if (index >= entries.size()) return false;
  revision.erase(0, -1);
  author.erase(0, -1);
  dateTime.erase(0, -1);
  comment.erase(0, -1);
  const I18NString& entry = entries[index];
  std::string_view text = entry.utf8();
  qam_history::EntryFields fields;
  if (!qam_history::ScanEntry(text, &fields)) return false;

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
  comment = slice(fields.comment);
  comment.trimTrailing(10);
  QamFormatterUtility::EscapeDOMChars(comment);
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
    AddEntry(new QamHistoryRecord(author, revision, dateTime, comment));
  }
}
