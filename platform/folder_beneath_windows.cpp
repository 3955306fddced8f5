// Making a folder beneath a root on Windows: the folder that receives it is
// opened with every reparse point (symbolic link, junction) followed and
// held, so that it cannot be moved while it is checked and used; its final
// path must lie beneath the root's.
#include <windows.h>

#include <string>
#include <string_view>

#include "platform.h"

namespace platform {
namespace {

// A folder held open for as long as this lives. Shared for reading and
// writing but not for deletion, so that neither it nor a folder above it can
// be renamed away meanwhile.
class HeldFolder {
 public:
  explicit HeldFolder(const std::wstring& path)
      : handle_(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {}
  ~HeldFolder() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HeldFolder(const HeldFolder&) = delete;
  HeldFolder& operator=(const HeldFolder&) = delete;
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }

  // The path the folder has once every reparse point is resolved
  // ("\\?\C:\..."); empty when Windows cannot say.
  std::wstring FinalPath() const {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
      const DWORD length = GetFinalPathNameByHandleW(handle_, path.data(),
                                                     static_cast<DWORD>(path.size()),
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
      if (length == 0) return std::wstring();
      if (length < path.size()) {
        path.resize(length);
        return path;
      }
      path.resize(length + 1);
    }
  }

 private:
  HANDLE handle_;
};

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// True when inner is root or a path beneath it; Windows paths compare
// without regard to case.
bool IsBeneath(const std::wstring& inner, const std::wstring& root) {
  if (root.empty() || inner.size() < root.size()) return false;
  if (CompareStringOrdinal(inner.c_str(), static_cast<int>(root.size()), root.c_str(),
                           static_cast<int>(root.size()), TRUE) != CSTR_EQUAL) {
    return false;
  }
  return inner.size() == root.size() || IsSeparator(root.back()) ||
         IsSeparator(inner[root.size()]);
}

// Opens root and the folder that holds the last component of path beneath
// it; *parent receives that folder's final path and *name the component.
// False with the reason in GetLastError(); a missing folder is
// ERROR_PATH_NOT_FOUND, as CreateDirectoryW reports it.
bool ParentBeneath(const std::string& root, const std::string& path, std::wstring* parent,
                   std::wstring* name) {
  std::wstring rest = Widen(path);
  while (!rest.empty() && IsSeparator(rest.back())) rest.pop_back();
  std::size_t start = rest.size();
  while (start > 0 && !IsSeparator(rest[start - 1])) --start;
  *name = rest.substr(start);
  rest.resize(start);
  // The folder is made through its parent's final path ("\\?\..."), which
  // Windows takes literally; drop what its path rules would drop from a
  // name, trailing dots and blanks, so that "..." still names the parent.
  while (!name->empty() && (name->back() == L'.' || name->back() == L' ')) name->pop_back();
  if (name->empty()) {
    SetLastError(ERROR_ALREADY_EXISTS);  // the folder itself, which exists
    return false;
  }
  const HeldFolder rootFolder(Widen(root));
  if (!rootFolder.ok()) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  const HeldFolder folder(Widen(root) + L"\\" + rest);
  if (!folder.ok()) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  *parent = folder.FinalPath();
  if (!IsBeneath(*parent, rootFolder.FinalPath())) {
    SetLastError(ERROR_NOT_SAME_DEVICE);  // Windows' word for EXDEV
    return false;
  }
  return true;
}

}  // namespace

bool EntryExistsBeneath(const std::string& root, const std::string& path) {
  std::wstring parent;
  std::wstring name;
  if (!ParentBeneath(root, path, &parent, &name)) return GetLastError() == ERROR_ALREADY_EXISTS;
  // GetFileAttributesW does not follow a final reparse point: a dangling
  // link counts.
  return GetFileAttributesW((parent + L"\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolderBeneath(const std::string& root, const std::string& path) {
  std::wstring parent;
  std::wstring name;
  if (!ParentBeneath(root, path, &parent, &name)) return false;
  // Made in the folder still held by its final path, which nothing can have
  // moved since the check.
  return CreateDirectoryW((parent + L"\\" + name).c_str(), nullptr) != 0;
}

bool ErrorMeansExists(int error) {
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
}

}  // namespace platform
