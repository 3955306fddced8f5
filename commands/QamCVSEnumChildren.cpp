#include "QamCVSEnumChildren.h"

#include <vector>

#include "QamCVSAdminFileTable.h"
#include "QamUtil.h"

namespace {

// stat-style masks: a regular file, or a folder, that may be read and written.
constexpr unsigned short kWritableFile =
    QamDvDir::kFile | QamDvDir::kReadable | QamDvDir::kWritable;  // 0x8180
constexpr unsigned short kWritableFolder =
    QamDvDir::kFolder | QamDvDir::kReadable | QamDvDir::kWritable;  // 0x4180

}  // namespace

QamCVSEnumChildren::QamCVSEnumChildren(QamInputParams& params)
    : QamEnumChildren(params) {
  childrenType = params.GetValueOf(I18NString("Children_Type"));
}

QamCVSEnumChildren::~QamCVSEnumChildren() = default;

void QamCVSEnumChildren::ProceesOutPut() {
  I18NString repositoryPath = pathToRepository;
  QamSystemUtils::ReadAsRepositoryRoot(repositoryPath);
  const I18NString relativePath = pathInRepository;
  const bool listFiles = childrenType == "DIRECTORY";

  QamSystemUtils::EnsureNoTrailingSlash(repositoryPath);

  // The root itself must be usable; a regular file passes here and then
  // fails the folder read below.
  if (QamDvDir::exists(repositoryPath, kWritableFile) == 0 &&
      QamDvDir::exists(repositoryPath, kWritableFolder) == 0) {
    successFlag = false;
    return;
  }

  const I18NString folderPath = QamSystemUtils::JoinPath(repositoryPath, relativePath);
  std::vector<I18NString> files;
  std::vector<I18NString> folders;
  if (QamDvDir::readDir(folderPath, files, nullptr, folders, nullptr) == 0) {
    successFlag = false;
    return;
  }
  successFlag = true;

  const QamCVSAdminFileTable hidden;
  for (const I18NString& folder : folders) {
    // A folder name is never an archive name: "a,v" stays "a,v".
    if (!hidden.Contains(folder)) AddItem(folder, true);
  }
  if (!listFiles) return;
  for (I18NString file : files) {
    // Hidden names are matched in their archive form, so "config,v" is
    // dropped while "history,v" is reported as "history".
    if (hidden.Contains(file)) continue;
    const int comma = file.find(U',', 0);
    if (comma >= 0) file = file.substring(0, comma);
    AddItem(file, false);
  }
}
