#include "QamUtil.h"

#include <algorithm>

#include "platform.h"

namespace {

bool IsWhiteSpace(char32_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsSeparator(char32_t c) { return c == '/' || c == '\\'; }

bool IsAsciiLetter(char32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// How many leading characters of path trailing separators never eat: a
// drive root such as C:\ (C: without its separator names the drive's
// current folder instead), else the first character, so "/" stays "/". A UNC
// path \\server\share\ only loses the separators after the share name.
// An extended root keeps its separator too: \\?\C: and \\?\UNC\server\share
// name the volume itself, not its root folder. Its prefix (\\?\, \??\ or
// \\.\) may be written with either separator.
int KeptLength(const I18NString& path) {
  if (path.length() >= 3 && IsAsciiLetter(path.charAt(0)) && path.charAt(1) == ':' &&
      IsSeparator(path.charAt(2))) {
    return 3;
  }
  const int length = path.length();
  if (length < 4 || !IsSeparator(path.charAt(0)) || !IsSeparator(path.charAt(3))) return 1;
  const bool nt = path.charAt(1) == '?' && path.charAt(2) == '?';
  const bool extended =
      IsSeparator(path.charAt(1)) && (path.charAt(2) == '?' || path.charAt(2) == '.');
  if (!nt && !extended) return 1;
  int at = 4;
  int components = 1;
  if (length >= 8 && (path.charAt(4) | 0x20) == 'u' && (path.charAt(5) | 0x20) == 'n' &&
      (path.charAt(6) | 0x20) == 'c' && IsSeparator(path.charAt(7))) {
    components = 3;  // UNC, server, share
  }
  for (int i = 0; i < components; ++i) {
    if (i > 0 && at < length) ++at;  // the separator before the next component
    while (at < length && !IsSeparator(path.charAt(at))) ++at;
  }
  return at < length ? at + 1 : at;
}

std::string NarrowPath(const I18NString& path) { return std::string(path.utf8()); }

}  // namespace

void QamException::Raise(const SourceLocation& where, const char* function, const char* macro) {
  Record(where, function, macro);
  throw *this;
}

void QamRaise(unsigned long code, const I18NString& text, const SourceLocation& where,
              const char* function) {
  QamException(static_cast<long>(code), text).Raise(where, function, "PYL_THROW");
}

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
  const int keep = KeptLength(path);
  while (end > keep && IsSeparator(path.charAt(end - 1))) --end;
  if (end < path.length()) path.erase(end, -1);
}

void QamSystemUtils::ReadAsRepositoryRoot(I18NString& root) {
  const std::string given(root.utf8());
  const std::string read = platform::RepositoryRoot(given);
  if (read != given) root = I18NString::FromUtf8(read);
}

void QamSystemUtils::ReplaceBackSlashWithForwardSlash(I18NString& path) {
  if (path.find(U'\\', 0) < 0) return;
  std::string bytes(path.utf8());
  std::replace(bytes.begin(), bytes.end(), '\\', '/');
  path = I18NString::FromUtf8(bytes);
}

I18NString QamSystemUtils::JoinPath(const I18NString& folder, const I18NString& name) {
  return folder + U'/' + name;
}

int QamDvDir::exists(const I18NString& path, unsigned short mask) {
  const std::string name = NarrowPath(path);
  const platform::EntryKind kind = platform::KindOf(name);
  if (kind == platform::EntryKind::kMissing) return 0;
  if ((mask & kFolder) != 0 && kind != platform::EntryKind::kFolder) return 0;
  if ((mask & kFile) != 0 && kind != platform::EntryKind::kFile) return 0;
  const bool read = (mask & kReadable) != 0;
  const bool write = (mask & kWritable) != 0;
  if ((read || write) && platform::CheckAccess(name, read, write) != 0) return 0;
  return 1;
}

int QamDvDir::ExistsBeneath(const I18NString& root, const I18NString& path) {
  return platform::EntryExistsBeneath(NarrowPath(root), NarrowPath(path)) ? 1 : 0;
}

int QamDvDir::createDirBeneath(const I18NString& root, const I18NString& path) {
  const platform::SystemError error = platform::MakeFolderBeneath(NarrowPath(root), NarrowPath(path));
  if (error == 0) return 1;
  // The contract: the cause is the system's last error, read by the caller.
  platform::SetLastSystemError(error);
  return 0;
}

int QamDvDir::readDir(const I18NString& folder, std::vector<I18NString>& files,
                      const void* /*fileFilter*/, std::vector<I18NString>& folders,
                      const void* /*folderFilter*/) {
  std::vector<std::string> fileNames;
  std::vector<std::string> folderNames;
  if (platform::ListFolder(NarrowPath(folder), &fileNames, &folderNames) != 0) return 0;
  for (const std::string& entry : fileNames) files.push_back(I18NString::FromUtf8(entry));
  for (const std::string& entry : folderNames) folders.push_back(I18NString::FromUtf8(entry));
  return 1;
}
