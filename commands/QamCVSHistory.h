// The history command (id 4): the revision history of one file, read from the
// RCS log that cvs log, cvs rlog or rlog printed for it.
#ifndef QAMCVS_COMMANDS_QAMCVSHISTORY_H_
#define QAMCVS_COMMANDS_QAMCVSHISTORY_H_

#include <string>
#include <vector>

#include "QamCommandBases.h"

class QamCVSHistory : public QamHistory {
 public:
  /// Captures the log named by OutputFile (raises as QamHistory does) and
  /// cuts it into revision entries.
  explicit QamCVSHistory(QamInputParams& params);
  ~QamCVSHistory() override;

  /// Hands one record per readable entry to the base, oldest revision first.
  void ProceesOutPut() override;

  /// The revision entries, newest first as the log lists them.
  const std::vector<I18NString>& Entries() const { return entries; }

  /// Reads entry index into the four values (comment without trailing line
  /// feeds, escaped for XML). False, the values empty, when the entry does
  /// not match its format; false, the values unchanged, for an index past
  /// the entries.
  bool ParseEntry(unsigned index, I18NString& revision, I18NString& author,
                  I18NString& dateTime, I18NString& comment);

 private:
  void SplitLogIntoEntries();
  void InitialiseRecordVariables(I18NString& entry);

  // One operation per layout of a revision block. They read the same header
  // grammar and differ in the marker they require.
  bool ParseBranchesEntry(I18NString& entry, I18NString& revision, I18NString& author,
                          I18NString& dateTime, I18NString& comment);
  bool ParseLockedEntry(I18NString& entry, I18NString& revision, I18NString& author,
                        I18NString& dateTime, I18NString& comment);
  bool ParseLinesEntry(I18NString& entry, I18NString& revision, I18NString& author,
                       I18NString& dateTime, I18NString& comment);
  bool ParsePlainEntry(I18NString& entry, I18NString& revision, I18NString& author,
                       I18NString& dateTime, I18NString& comment);

  enum class Layout { kBranches, kLocked, kLines, kPlain };
  bool ReadEntry(Layout layout, I18NString& entry, I18NString& revision, I18NString& author,
                 I18NString& dateTime, I18NString& comment);

  // Constant after construction.
  I18NString logBody;  // the log from its first separator line on
  std::vector<I18NString> entries;

  // Work buffers of the entry being read (UTF-8). They grow to the entry, so
  // no revision number, date, time or name is ever cut; the values
  // themselves are slices of the entry.
  std::string revisionBuffer;
  std::string dateBuffer;
  std::string timeBuffer;
  std::string lockerBuffer;
  std::string authorBuffer;
};

#endif  // QAMCVS_COMMANDS_QAMCVSHISTORY_H_
