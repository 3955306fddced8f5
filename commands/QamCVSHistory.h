#ifndef QAMCVS_COMMANDS_QAMCVSHISTORY_H_
#define QAMCVS_COMMANDS_QAMCVSHISTORY_H_

#include "QamCommandBases.h"

class QamCVSHistory : public QamHistory {
 public:
  explicit QamCVSHistory(QamInputParams& params);
  void ProceesOutPut() override;
};

#endif  // QAMCVS_COMMANDS_QAMCVSHISTORY_H_
