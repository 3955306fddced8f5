// File difference (command id 9): do two versions differ, by the comparison
// output that the version-control tool printed.
#ifndef QAMCVS_COMMANDS_QAMCVSISFILEDIFFERENT_H_
#define QAMCVS_COMMANDS_QAMCVSISFILEDIFFERENT_H_

#include "QamCommandBases.h"

class QamCVSIsFileDifferent : public QamIsFileDifferent {
 public:
  /// Captures the tool's text (OutputFile, Encoding); raises as the base does.
  explicit QamCVSIsFileDifferent(QamInputParams& params);
  /// Sets isDifferent from outputText: false for empty text or text holding
  /// "identical", true for text holding "differ". Raises 0x56177B77 (input
  /// error) when the text holds neither, leaving isDifferent unchanged.
  void ProceesOutPut() override;
};

#endif  // QAMCVS_COMMANDS_QAMCVSISFILEDIFFERENT_H_
