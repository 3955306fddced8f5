#ifndef QAMCVS_COMMANDS_QAMCVSENUMCHILDREN_H_
#define QAMCVS_COMMANDS_QAMCVSENUMCHILDREN_H_

#include "QamCommandBases.h"

/// Child enumeration (id 5): the sub-folders of a repository folder and, for
/// Children_Type "DIRECTORY", its files, without administrative names.
class QamCVSEnumChildren : public QamEnumChildren {
 public:
  /// Hands params to QamEnumChildren (which raises when PathToRep is
  /// missing) and keeps the value of "Children_Type".
  explicit QamCVSEnumChildren(QamInputParams& params);
  ~QamCVSEnumChildren() override;
  /// Sets successFlag and adds the children: sub-folders whole, then files
  /// cut at their first comma. Raises nothing of its own.
  void ProceesOutPut() override;

 private:
  I18NString childrenType;
};

#endif  // QAMCVS_COMMANDS_QAMCVSENUMCHILDREN_H_
