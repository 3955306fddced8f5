#ifndef QAMCVS_COMMANDS_QAMCVSISFILEDIFFERENT_H_
#define QAMCVS_COMMANDS_QAMCVSISFILEDIFFERENT_H_

#include "QamCommandBases.h"

class QamCVSIsFileDifferent : public QamIsFileDifferent {
 public:
  explicit QamCVSIsFileDifferent(QamInputParams& params);
  void ProceesOutPut() override;
};

#endif  // QAMCVS_COMMANDS_QAMCVSISFILEDIFFERENT_H_
