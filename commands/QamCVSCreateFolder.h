#ifndef QAMCVS_COMMANDS_QAMCVSCREATEFOLDER_H_
#define QAMCVS_COMMANDS_QAMCVSCREATEFOLDER_H_

#include "I18NString.h"
#include "QamFormatter.h"

/// Folder creation (id 7): makes PathToRep/PathInRep/FolderName and says
/// whether it did, and why not, in a document it formats itself.
class QamCVSCreateFolder : public QamCmdObject {
 public:
  /// Reads PathToRep, PathInRep and FolderName; raises kQamInputError naming
  /// every one of them that is absent or empty. Touches nothing on disk.
  explicit QamCVSCreateFolder(QamInputParams& params);
  ~QamCVSCreateFolder() override;
  /// Creates the folder (one mkdir, always beneath the repository root with
  /// every link resolved) and sets created and reason; file-system outcomes
  /// are answers, never raised.
  void ProceesOutPut() override;
  /// The XML declaration followed by the Created/Reason body.
  I18NString ConverToQamFormat() override;

 private:
  // The three parameters as given, then trimmed of trailing separators.
  I18NString pathToRepository;
  I18NString pathInRepository;
  I18NString folderName;
  // The outcome, written once by ProceesOutPut.
  bool created = false;
  I18NString reason;
};

#endif  // QAMCVS_COMMANDS_QAMCVSCREATEFOLDER_H_
