#ifndef QAMCVS_COMMANDS_QAMCVSEXIST_H_
#define QAMCVS_COMMANDS_QAMCVSEXIST_H_

#include "QamCommandBases.h"

class QamCVSExist : public QamExist {
 public:
  explicit QamCVSExist(QamInputParams& params);
  void ProceesOutPut() override;
};

#endif  // QAMCVS_COMMANDS_QAMCVSEXIST_H_
