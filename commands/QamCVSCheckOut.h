// Checked-out status (command id 3): who holds the first RCS lock of a file.
#ifndef QAMCVS_COMMANDS_QAMCVSCHECKOUT_H_
#define QAMCVS_COMMANDS_QAMCVSCHECKOUT_H_

#include "QamCommandBases.h"

class QamCVSCheckOut : public QamCheckedOut {
 public:
  /// Captures the tool's text (OutputFile, Encoding); raises as the base does.
  explicit QamCVSCheckOut(QamInputParams& params);
  /// Reads the lock list of the RCS header in outputText; sets checkedOutBy
  /// and isCheckedOut, or leaves both as constructed when no lock is found.
  void ProceesOutPut() override;
};

#endif  // QAMCVS_COMMANDS_QAMCVSCHECKOUT_H_
