// The history command (id 4): the revision history of one file, read from the
// RCS log that cvs log, cvs rlog or rlog printed for it.
#ifndef QAMCVS_COMMANDS_QAMCVSHISTORY_H_
#define QAMCVS_COMMANDS_QAMCVSHISTORY_H_

#include <vector>

#include "QamCommandBases.h"
#include "history_log.h"

class QamCVSHistory : public QamHistory {
 public:
  /// Captures the log named by OutputFile (raises as QamHistory does) and
  /// cuts it into revision entries.
  explicit QamCVSHistory(QamInputParams& params);
  ~QamCVSHistory() override;

  /// Hands one record per readable entry to the base, oldest revision first.
  /// Raises std::bad_alloc when memory runs out: a history is never short.
  void ProceesOutPut() override;

  /// The revision entries, newest first as the log lists them.
  const std::vector<I18NString>& Entries() const { return entries; }

  /// Reads entry index into the four values (comment without trailing line
  /// feeds, escaped for XML). False, the values empty, when the entry's
  /// header lines are not those of a revision block; false, the values
  /// unchanged, for an index past the entries.
  bool ParseEntry(unsigned index, I18NString& revision, I18NString& author,
                  I18NString& dateTime, I18NString& comment);

 private:
  void SplitLogIntoEntries();
  /// Reads entry index's header lines into *fields, the comment without its
  /// trailing line feeds; false when they are not those of a revision block.
  bool ScanValues(unsigned index, qam_history::EntryFields* fields) const;
  /// The revision, author and date-time of entry index, as read into fields.
  void SliceValues(unsigned index, const qam_history::EntryFields& fields,
                   I18NString& revision, I18NString& author, I18NString& dateTime) const;

  // Constant after construction: slices of outputText, one per revision
  // block, sharing its buffer.
  std::vector<I18NString> entries;
};

#endif  // QAMCVS_COMMANDS_QAMCVSHISTORY_H_
