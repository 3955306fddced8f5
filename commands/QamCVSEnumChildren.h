#ifndef QAMCVS_COMMANDS_QAMCVSENUMCHILDREN_H_
#define QAMCVS_COMMANDS_QAMCVSENUMCHILDREN_H_

#include "QamCommandBases.h"

class QamCVSEnumChildren : public QamEnumChildren {
 public:
  explicit QamCVSEnumChildren(QamInputParams& params);
  void ProceesOutPut() override;
};

#endif  // QAMCVS_COMMANDS_QAMCVSENUMCHILDREN_H_
