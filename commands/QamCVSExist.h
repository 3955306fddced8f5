#ifndef QAMCVS_COMMANDS_QAMCVSEXIST_H_
#define QAMCVS_COMMANDS_QAMCVSEXIST_H_

#include "QamCommandBases.h"

/// Path existence (id 1): is the repository root usable, and is there a
/// folder or an RCS archive at the path inside it.
class QamCVSExist : public QamExist {
 public:
  /// Hands params to QamExist, which raises when PathToRep is missing.
  explicit QamCVSExist(QamInputParams& params);
  /// Sets repositoryExists and pathExists from the disk; raises nothing of
  /// its own. Traces the composed item path (UTF-8) on the debugger channel.
  void ProceesOutPut() override;
};

#endif  // QAMCVS_COMMANDS_QAMCVSEXIST_H_
