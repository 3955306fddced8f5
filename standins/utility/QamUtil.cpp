#include "QamUtil.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "encoding.h"

namespace {

bool IsWhiteSpace(char32_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsSeparator(char32_t c) { return c == '/' || c == '\\'; }

std::string NarrowPath(const I18NString& path) { return std::string(path.utf8()); }

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

void QamSystemUtils::TrimLeft(I18NString& text) {
  int start = 0;
  while (start < text.length() && IsWhiteSpace(text.charAt(start))) ++start;
  if (start > 0) text.erase(0, start);
}

void QamSystemUtils::TrimRight(I18NString& text) {
  int end = text.length();
  while (end > 0 && IsWhiteSpace(text.charAt(end - 1))) --end;
  if (end < text.length()) text.erase(end, -1);
}

void QamSystemUtils::EnsureNoTrailingSlash(I18NString& path) {
  int end = path.length();
  while (end > 1 && IsSeparator(path.charAt(end - 1))) --end;
  if (end < path.length()) path.erase(end, -1);
}

void QamSystemUtils::ReplaceBackSlashWithForwardSlash(I18NString& path) {
  if (path.find(U'\\', 0) < 0) return;
  std::string bytes(path.utf8());
  std::replace(bytes.begin(), bytes.end(), '\\', '/');
  path = I18NString::FromUtf8(bytes);
}

int QamDvDir::Exists(const I18NString& path, int /*accessMode*/) {
  struct stat info;
  return lstat(NarrowPath(path).c_str(), &info) == 0 ? 1 : 0;
}

int QamDvDir::exists(const I18NString& path, unsigned short mask) {
  std::string name = NarrowPath(path);
  struct stat info;
  if (stat(name.c_str(), &info) != 0) return 0;
  if ((mask & kFolder) != 0 && !S_ISDIR(info.st_mode)) return 0;
  if ((mask & kFile) != 0 && !S_ISREG(info.st_mode)) return 0;
  int access_mode = 0;
  if ((mask & kReadable) != 0) access_mode |= R_OK;
  if ((mask & kWritable) != 0) access_mode |= W_OK;
  if (access_mode != 0 && access(name.c_str(), access_mode) != 0) return 0;
  return 1;
}

int QamDvDir::createDir(const I18NString& path) {
  return mkdir(NarrowPath(path).c_str(), 0777) == 0 ? 1 : 0;
}

int QamDvDir::readDir(const I18NString& folder, std::vector<I18NString>& files,
                      const void* /*fileFilter*/, std::vector<I18NString>& folders,
                      const void* /*folderFilter*/) {
  std::string name = NarrowPath(folder);
  std::unique_ptr<DIR, DirCloser> dir(opendir(name.c_str()));
  if (!dir) return 0;
  std::vector<std::string> fileNames;
  std::vector<std::string> folderNames;
  int descriptor = dirfd(dir.get());
  errno = 0;
  while (struct dirent* entry = readdir(dir.get())) {
    const char* entryName = entry->d_name;
    if (std::strcmp(entryName, ".") == 0 || std::strcmp(entryName, "..") == 0) continue;
    bool isFolder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat info;
      isFolder = fstatat(descriptor, entryName, &info, 0) == 0 && S_ISDIR(info.st_mode);
    }
    (isFolder ? folderNames : fileNames).emplace_back(entryName);
    errno = 0;
  }
  if (errno != 0) return 0;
  std::sort(fileNames.begin(), fileNames.end());
  std::sort(folderNames.begin(), folderNames.end());
  for (const std::string& entry : fileNames) files.push_back(I18NString::FromUtf8(entry));
  for (const std::string& entry : folderNames) folders.push_back(I18NString::FromUtf8(entry));
  return 1;
}

QamCodeConverter::QamCodeConverter(const char* encoding, const I18NString& text)
    : bytes_(EncodeFromUtf8(text.utf8(), encoding)) {}
