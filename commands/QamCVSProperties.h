#ifndef QAMCVS_COMMANDS_QAMCVSPROPERTIES_H_
#define QAMCVS_COMMANDS_QAMCVSPROPERTIES_H_

#include "QamCommandBases.h"

class QamCVSProperties : public QamProperties {
 public:
  explicit QamCVSProperties(QamInputParams& params);
  void ProceesOutPut() override;
};

#endif  // QAMCVS_COMMANDS_QAMCVSPROPERTIES_H_
