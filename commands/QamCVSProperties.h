// Properties (command id 8): is a path of the repository a folder.
#ifndef QAMCVS_COMMANDS_QAMCVSPROPERTIES_H_
#define QAMCVS_COMMANDS_QAMCVSPROPERTIES_H_

#include "QamCommandBases.h"

class QamCVSProperties : public QamProperties {
 public:
  /// Reads PathToRep (required) and PathInRep; raises as the base does.
  explicit QamCVSProperties(QamInputParams& params);
  /// Sets isFolder: true exactly when root "/" path-in-repository is an
  /// existing directory. A missing root or item is an answer, not an error.
  void ProceesOutPut() override;
};

#endif  // QAMCVS_COMMANDS_QAMCVSPROPERTIES_H_
