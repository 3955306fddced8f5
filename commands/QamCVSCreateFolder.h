#ifndef QAMCVS_COMMANDS_QAMCVSCREATEFOLDER_H_
#define QAMCVS_COMMANDS_QAMCVSCREATEFOLDER_H_

#include "QamFormatter.h"

class QamCVSCreateFolder : public QamCmdObject {
 public:
  explicit QamCVSCreateFolder(QamInputParams& params);
  void ProceesOutPut() override;
  I18NString ConverToQamFormat() override;
};

#endif  // QAMCVS_COMMANDS_QAMCVSCREATEFOLDER_H_
