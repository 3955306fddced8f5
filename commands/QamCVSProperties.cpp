#include "QamCVSProperties.h"

#include "QamUtil.h"

QamCVSProperties::QamCVSProperties(QamInputParams& params) : QamProperties(params) {}

void QamCVSProperties::ProceesOutPut() {
  I18NString root = GetPathToRepository();
  QamSystemUtils::ReadAsRepositoryRoot(root);
  I18NString path = QamSystemUtils::JoinPath(root, GetPathInRepository());
  // An empty path in the repository leaves root + "/", which loses the
  // separator here, so the root itself is tested.
  QamSystemUtils::EnsureNoTrailingSlash(path);
  // Back-slashes from a Windows host reach the file system as "/". A root
  // ending in "/" leaves "//" before the item, which the file system reads
  // as one separator.
  QamSystemUtils::ReplaceBackSlashWithForwardSlash(path);
  isFolder = QamDvDir::exists(path, QamDvDir::kFolder) != 0;
}
