// Making a folder beneath a root on Windows: the root is opened, then each
// folder on the way is opened relative to the one before it (NtCreateFile
// with a root directory handle, as the Linux port walks with openat), held
// without sharing deletion so that none can be renamed away, and the folder
// is made relative to the last one. Nothing is looked up by path after the
// root, so a junction swapped in meanwhile cannot take the creation
// elsewhere, and no final-path query is needed: that works wherever the
// share lets the user create folders, old SMB servers and volumes without a
// drive letter included.
#include <windows.h>
#include <winternl.h>
#include <winioctl.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform.h"
#include "platform_windows.h"

namespace platform {
namespace windows {
namespace {

// Windows' own bound on the reparse points one lookup may follow.
constexpr int kMaxLinks = 63;

constexpr ULONG kHoldSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Opens name relative to the open folder at into *opened: 0, or the Win32
// error.
SystemError OpenRelative(HANDLE at, std::wstring_view name, ACCESS_MASK access, ULONG sharing,
                         ULONG disposition, ULONG options, Handle* opened) {
  if (name.size() * sizeof(wchar_t) > 0xFFFE) return ERROR_FILENAME_EXCED_RANGE;
  UNICODE_STRING text;
  text.Buffer = const_cast<wchar_t*>(name.data());
  text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES attributes;
  // Case-insensitive, as every Win32 file call opens a name.
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, at, nullptr);
  IO_STATUS_BLOCK status;
  HANDLE handle = INVALID_HANDLE_VALUE;
  const NTSTATUS result =
      NtCreateFile(&handle, access, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL, sharing,
                   disposition, options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT,
                   nullptr, 0);
  if (!NT_SUCCESS(result)) {
    const ULONG error = RtlNtStatusToDosError(result);
    return error != ERROR_SUCCESS ? static_cast<SystemError>(error) : ERROR_GEN_FAILURE;
  }
  *opened = Handle(handle);
  return 0;
}

// The final path of an open folder ("\\?\C:\..."), empty where Windows
// cannot say (old SMB servers, volumes without a drive letter).
std::wstring FinalPath(HANDLE folder) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(folder, path.data(),
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

// The volume and the path on it of an open folder; unknown where Windows
// cannot say.
FolderIdentity IdentityOf(HANDLE folder) {
  FolderIdentity identity;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(folder, &info) == 0) return identity;
  // FILE_NAME_INFO: the length in bytes, then the name; room for the
  // longest path Windows knows.
  std::vector<DWORD> buffer(1 + 32768 / 2);
  const auto* name = reinterpret_cast<const FILE_NAME_INFO*>(buffer.data());
  if (GetFileInformationByHandleEx(folder, FileNameInfo, buffer.data(),
                                   static_cast<DWORD>(buffer.size() * sizeof(DWORD))) == 0) {
    return identity;
  }
  identity.path.assign(name->FileName, name->FileNameLength / sizeof(wchar_t));
  identity.volume = info.dwVolumeSerialNumber;
  identity.known = true;
  return identity;
}

// The identity of the folder the link name in the open folder at leads to,
// every link followed by the system.
FolderIdentity ReachedThrough(HANDLE at, const std::wstring& name) {
  Handle reached;
  if (OpenRelative(at, name, FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                   FILE_DIRECTORY_FILE, &reached) != 0) {
    return FolderIdentity();
  }
  return IdentityOf(reached.get());
}

// True when one final path lies at or beneath the other.
bool FinalPathBeneath(const std::wstring& inner, const std::wstring& root) {
  std::deque<std::wstring> rest;
  return AbsoluteTargetBeneath(inner, {root}, &rest);
}

// What the opened folder is: 0 with *isLink false for a folder (or a reparse
// point that is not a name surrogate, such as a cloud file); *isLink with
// *target for a symbolic link or junction; ERROR_CANT_ACCESS_FILE for a
// link Windows cannot follow (a WSL symbolic link, say).
SystemError ReadLink(HANDLE opened, bool* isLink, LinkTarget* target) {
  *isLink = false;
  FILE_ATTRIBUTE_TAG_INFO tag;
  if (GetFileInformationByHandleEx(opened, FileAttributeTagInfo, &tag, sizeof tag) == 0) {
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(opened, &info) == 0) return LastError();
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return 0;
    return ERROR_CANT_ACCESS_FILE;
  }
  if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 ||
      !IsReparseTagNameSurrogate(tag.ReparseTag)) {
    return 0;
  }
  std::string data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE, '\0');
  DWORD got = 0;
  if (DeviceIoControl(opened, FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                      static_cast<DWORD>(data.size()), &got, nullptr) == 0 ||
      !ParseLinkTarget(reinterpret_cast<const unsigned char*>(data.data()), got, target)) {
    return ERROR_CANT_ACCESS_FILE;
  }
  *isLink = true;
  return 0;
}

}  // namespace

SystemError OpenParentBeneath(const std::string& root, const std::string& path, HeldFolders* held) {
  std::deque<std::wstring> pending = Components(Widen(path));
  if (pending.empty()) return ERROR_ALREADY_EXISTS;  // the root itself, which exists
  for (const std::wstring& component : pending) {
    if (component != L".." && IsNameWindowsRefuses(component)) return ERROR_INVALID_NAME;
  }
  held->name = pending.back();
  pending.pop_back();
  if (held->name == L"..") return ERROR_NOT_SAME_DEVICE;

  const std::wstring rootPath = ExtendedPath(Widen(root));
  Handle rootFolder(CreateFileW(rootPath.c_str(), kWalkAccess, kHoldSharing, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!rootFolder.ok()) {
    const SystemError error = LastError();
    return error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error;
  }
  // An absolute link may name the root as the host wrote it or by its final
  // path, where Windows can say what that is.
  std::vector<std::wstring> rootPaths{rootPath};
  const std::wstring rootFinal = FinalPath(rootFolder.get());
  if (!rootFinal.empty()) rootPaths.push_back(rootFinal);
  held->folders.clear();
  held->folders.push_back(std::move(rootFolder));

  FolderIdentity rootIdentity;
  int links = 0;
  while (!pending.empty()) {
    const std::wstring name = std::move(pending.front());
    pending.pop_front();
    if (name == L"..") {
      if (held->folders.size() == 1) return ERROR_NOT_SAME_DEVICE;
      held->folders.pop_back();
      continue;
    }
    Handle next;
    // FILE_OPEN_REPARSE_POINT: a link is opened itself, read and resolved
    // here, not followed by the system.
    SystemError error = OpenRelative(held->parent(), name, kWalkAccess, kHoldSharing, FILE_OPEN,
                                     FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, &next);
    if (error != 0) return error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error;
    bool isLink = false;
    LinkTarget target;
    error = ReadLink(next.get(), &isLink, &target);
    if (error != 0) return error;
    if (!isLink) {
      held->folders.push_back(std::move(next));
      continue;
    }
    if (++links > kMaxLinks) return ERROR_CANT_RESOLVE_FILENAME;
    std::deque<std::wstring> resolved;
    if (target.relative) {
      resolved = Components(target.path);
    } else {
      // An absolute target is followed only when it leads to a place
      // beneath the root; the walk then starts again from the root. The
      // text alone first; the identities, which cost an open, where it
      // cannot say.
      if (!LinkTargetBeneath(target.path, rootPaths, {}, {}, &resolved)) {
        if (!rootIdentity.known) rootIdentity = IdentityOf(held->folders.front().get());
        if (!LinkTargetBeneath(target.path, rootPaths, ReachedThrough(held->parent(), name),
                               rootIdentity, &resolved)) {
          return ERROR_NOT_SAME_DEVICE;
        }
      }
      held->folders.resize(1);
    }
    pending.insert(pending.begin(), resolved.begin(), resolved.end());
  }
  if (!rootFinal.empty()) {
    const std::wstring parentFinal = FinalPath(held->parent());
    if (!parentFinal.empty() && !FinalPathBeneath(parentFinal, rootFinal)) {
      return ERROR_NOT_SAME_DEVICE;
    }
  }
  return 0;
}

SystemError MakeFolderIn(HANDLE parent, std::wstring_view name) {
  Handle made;
  return OpenRelative(parent, name, kMadeAccess, kHoldSharing, FILE_CREATE, FILE_DIRECTORY_FILE,
                      &made);
}

bool LookShowsEntry(SystemError look) {
  return look == 0 || look == ERROR_ACCESS_DENIED || look == ERROR_SHARING_VIOLATION;
}

}  // namespace windows

bool EntryExistsBeneath(const std::string& root, const std::string& path) {
  windows::HeldFolders held;
  const SystemError error = windows::OpenParentBeneath(root, path, &held);
  if (error != 0) return error == ERROR_ALREADY_EXISTS;
  // The entry itself, a final link not followed: a dangling link counts.
  windows::Handle entry;
  const SystemError look =
      windows::OpenRelative(held.parent(), held.name, FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                            FILE_OPEN_REPARSE_POINT, &entry);
  return windows::LookShowsEntry(look);
}

SystemError MakeFolderBeneath(const std::string& root, const std::string& path) {
  windows::HeldFolders held;
  const SystemError error = windows::OpenParentBeneath(root, path, &held);
  return error != 0 ? error : windows::MakeFolderIn(held.parent(), held.name);
}

bool ErrorMeansExists(SystemError error) {
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
}

}  // namespace platform
