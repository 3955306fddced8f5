#include "QamCVSExist.h"

#include "QamUtil.h"
#include "platform.h"

namespace {

// stat-style mode masks handed to QamDvDir::exists.
constexpr unsigned short kWritableFolder =
    QamDvDir::kFolder | QamDvDir::kReadable | QamDvDir::kWritable;  // 0x4180
constexpr unsigned short kAnyFolder = QamDvDir::kFolder;            // 0x4000
constexpr unsigned short kRegularFile = QamDvDir::kFile;            // 0x8000

}  // namespace

QamCVSExist::QamCVSExist(QamInputParams& params) : QamExist(params) {}

void QamCVSExist::ProceesOutPut() {
  I18NString root = GetPathToRepository();
  QamSystemUtils::ReadAsRepositoryRoot(root);
  const I18NString inRepository = GetPathInRepository();

  // Only the root test uses the trimmed copy; the item path is composed from
  // the root as given, so "repo/" yields "repo//item", which the file system
  // reads as "repo/item".
  I18NString trimmedRoot = root;
  QamSystemUtils::EnsureNoTrailingSlash(trimmedRoot);
  if (QamDvDir::exists(trimmedRoot, kWritableFolder) == 0) {
    repositoryExists = false;
    pathExists = false;
    return;
  }

  I18NString itemPath = QamSystemUtils::JoinPath(root, inRepository);
  QamSystemUtils::EnsureNoTrailingSlash(itemPath);
  // The narrow encoding is UTF-8 everywhere, the string's own: the path is
  // traced as it is held.
  platform::Trace(itemPath.utf8());

  // A folder lives in the repository under its own name, a versioned file as
  // its RCS archive "name,v"; the folder test comes first.
  if (QamDvDir::exists(itemPath, kAnyFolder) != 0) {
    repositoryExists = true;
    pathExists = true;
    return;
  }
  itemPath += ",v";
  repositoryExists = true;
  pathExists = QamDvDir::exists(itemPath, kRegularFile) != 0;
}
