#ifndef QAMCVS_COMMANDS_QAMCVSCHECKOUT_H_
#define QAMCVS_COMMANDS_QAMCVSCHECKOUT_H_

#include "QamCommandBases.h"

class QamCVSCheckOut : public QamCheckedOut {
 public:
  explicit QamCVSCheckOut(QamInputParams& params);
  void ProceesOutPut() override;
};

#endif  // QAMCVS_COMMANDS_QAMCVSCHECKOUT_H_
