// What the Windows port has beyond platform.h: the path and name rules its
// files share, and the pieces its own tests check.
#ifndef QAMCVS_PLATFORM_PLATFORM_WINDOWS_H_
#define QAMCVS_PLATFORM_PLATFORM_WINDOWS_H_

#include <windows.h>

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"

namespace platform {

/// UTF-8 to UTF-16 for a Windows call; the only place paths change encoding.
std::wstring Widen(std::string_view utf8);
/// UTF-16 from a Windows call back to UTF-8.
std::string Narrow(std::wstring_view wide);

namespace windows {

/// GetLastError as a SystemError for a call that failed: never 0, since a
/// call that failed without saying why still failed (ERROR_GEN_FAILURE then).
SystemError LastError();

/// ERROR_DIRECTORY_NOT_SUPPORTED (336), which MinGW's headers lack: here, a
/// folder read as if it were a file.
constexpr DWORD kErrorFolderRead = 336;

/// path as the wide file calls take it literally and at any length:
/// "\\?\C:\a\b" or "\\?\UNC\server\share\a". A relative, drive-relative
/// ("C:a") or rooted ("\a") path is made absolute against the current
/// folders, as GetFullPathNameW does; "/" and "\" both separate, empty and
/// "." components go and ".." takes the one before it away (never the drive
/// or share), but every other component stays as written, trailing dots and
/// blanks included, which the Win32 rules would drop. A drive or share alone
/// ends in "\". A path already in "\\?\" or "\??\" form, or in the device
/// form "\\.\" (a named pipe, the console), written with "\" or "/" ("//?/"),
/// keeps its components as written, but with every "/" turned into "\" (no
/// Windows name holds one) and each run of separators made one.
std::wstring ExtendedPath(std::wstring_view path);

/// How many leading characters of an extended path name its volume:
/// "\\?\C:", "\\?\UNC\server\share", else the prefix ("\\?\", "\??\",
/// "\\.\") and the first component.
std::size_t ExtendedRootLength(std::wstring_view extended);

/// The components of path, split at "/" and "\", without empty ones and ".".
std::deque<std::wstring> Components(std::wstring_view path);

/// True for a name Windows keeps for a device: CON, PRN, AUX, NUL, COM1-COM9,
/// LPT1-LPT9 and COM or LPT followed by a superscript 1, 2 or 3, in any case,
/// bare or with an extension ("nul.txt"), blanks before the dot or at the
/// end included.
bool IsReservedDeviceName(std::wstring_view name);

/// True when name holds a character that Windows forbids in file names
/// (< > : " | ? * and U+0001-U+001F); ":" would name an NTFS stream.
bool HasForbiddenCharacter(std::wstring_view name);

/// True when a folder of this name could not be used by ordinary Windows
/// programs (Explorer, a cvs client): a device name, a forbidden character,
/// or a trailing dot or blank.
bool IsNameWindowsRefuses(std::wstring_view name);

/// True when a component of the extended path below its volume holds a
/// character that Windows forbids: such a path names no repository file or
/// folder (a stream, a pattern), so it is not asked of the system.
bool HasForbiddenComponent(std::wstring_view extended);

/// Where a symbolic link or junction leads, as its reparse data says.
struct LinkTarget {
  std::wstring path;      // "\??\C:\x" when absolute, "..\x" when relative
  bool relative = false;  // relative to the folder that holds the link
};

/// Reads the target out of FSCTL_GET_REPARSE_POINT's data for a symbolic
/// link (IO_REPARSE_TAG_SYMLINK) or a junction (IO_REPARSE_TAG_MOUNT_POINT).
/// False for any other reparse point and for data that does not hold
/// together (a length past the end).
bool ParseLinkTarget(const unsigned char* data, std::size_t size, LinkTarget* target);

/// When the absolute target ("\??\..." or "\\?\...") names one of roots
/// (extended paths) or a place beneath it, *rest receives the components
/// below that root. Volumes compare without regard to case; the names below
/// them too when ignoreCase.
bool AbsoluteTargetBeneath(std::wstring_view target, const std::vector<std::wstring>& roots,
                           std::deque<std::wstring>* rest, bool ignoreCase = true);

/// Where a folder lies when no text can say: the serial number of its
/// volume and its path on that volume ("\cvs\proj", as FileNameInfo gives
/// it, which a file server answers where the final-path query fails).
struct FolderIdentity {
  bool known = false;
  unsigned long volume = 0;
  std::wstring path;
};

/// Whether an absolute link target leads to the root or beneath it, with
/// *rest the components below the root to walk from there. The text decides
/// when it names one of roots, the names below the volume in their own case
/// (a case-sensitive folder may hold "cvs" and "CVS"). Else the folder the
/// link reaches decides (a file server's own "\??\D:\...", a subst or mapped
/// drive, a short name, a volume GUID): on the root's volume, with the root's
/// path leading its own, case again exact. An unknown identity decides nothing.
bool LinkTargetBeneath(std::wstring_view target, const std::vector<std::wstring>& roots,
                       const FolderIdentity& reached, const FolderIdentity& root,
                       std::deque<std::wstring>* rest);

/// An NT handle, closed when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(Handle&& other) noexcept : handle_(other.handle_) { other.handle_ = INVALID_HANDLE_VALUE; }
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.handle_;
      other.handle_ = INVALID_HANDLE_VALUE;
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }

 private:
  void Close() {
    if (ok()) CloseHandle(handle_);
  }
  HANDLE handle_;
};

/// The folders from the root down to the one that holds the last component
/// of a path, each held open (without sharing deletion, so that none can be
/// renamed or removed) for as long as this lives.
struct HeldFolders {
  std::vector<Handle> folders;  // the root first
  std::wstring name;            // the last component of the path
  HANDLE parent() const { return folders.back().get(); }
};

/// Opens root (reparse points followed: it may be a link) and walks path
/// beneath it one component at a time, each folder opened relative to the one
/// before with NtCreateFile. A symbolic link or junction on the way is read
/// and followed only while it stays beneath the root: a relative target
/// from where it stands, an absolute one when it names the root (as given,
/// or its final path where Windows can say) or a place beneath it. ".."
/// never climbs above the root. Where Windows can say, the parent's final
/// path must also lie beneath the root's, so that a link the file system
/// does not report as one cannot lead out either.
/// Returns 0, or the Win32 error: ERROR_INVALID_NAME for a component that
/// IsNameWindowsRefuses (checked before any file call), ERROR_PATH_NOT_FOUND
/// for a missing folder or root, ERROR_NOT_SAME_DEVICE for a way out of the
/// root, ERROR_CANT_RESOLVE_FILENAME past 63 links, ERROR_ALREADY_EXISTS
/// when path names the root itself.
SystemError OpenParentBeneath(const std::string& root, const std::string& path, HeldFolders* held);

/// What the walk holds each folder on the way with, the root included.
/// Traversing (FILE_EXECUTE) is data access, so the sharing mode (no
/// FILE_SHARE_DELETE) holds the folder against a rename; the attributes tell
/// a link. Not listing: a share may let users traverse a folder they may
/// not list. A folder made relative to the last one needs nothing of its
/// handle: the file system checks FILE_ADD_SUBDIRECTORY against that
/// folder's security descriptor, not the handle's access.
constexpr ACCESS_MASK kWalkAccess = FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

/// What the new folder's own handle asks for, closed at once: its creator
/// needs nothing of it.
constexpr ACCESS_MASK kMadeAccess = FILE_READ_ATTRIBUTES | SYNCHRONIZE;

/// Makes the folder name in the open folder parent (NtCreateFile with
/// FILE_CREATE): 0, or the Win32 error (ERROR_ALREADY_EXISTS when anything
/// is there).
SystemError MakeFolderIn(HANDLE parent, std::wstring_view name);

/// True when a look at an entry (its own attributes, a final link not
/// followed) failing with look (0 for none) shows something there: it
/// answered, or refused the look (access denied, a sharing violation, a
/// pending deletion). Any other error (not found, a share that dropped its
/// connection) shows nothing, and the creation that follows, which fails on
/// anything there, gives the real answer.
bool LookShowsEntry(SystemError look);

/// What one read of the tool's text came to.
enum class ReadStep {
  kData,    // bytes came
  kAgain,   // zero bytes from a pipe: PeekNamedPipe says whether more can come
  kWait,    // a non-blocking pipe with nothing in it yet
  kEnd,     // the end of the text
  kFailed,  // the error is the reason
};

/// The rule for one ReadFile that succeeded or failed with error, got bytes
/// read, on a pipe or not. Bytes are data, also with ERROR_MORE_DATA (a
/// message longer than the buffer). On a pipe zero bytes may be a
/// zero-length message (kAgain: the caller asks PeekNamedPipe, since Wine
/// reads a Unix pipe's end as zero bytes), ERROR_NO_DATA is a non-blocking
/// pipe not yet written to, and ERROR_BROKEN_PIPE or ERROR_PIPE_NOT_CONNECTED
/// (a named pipe's server gone) the end; elsewhere zero bytes or
/// ERROR_HANDLE_EOF are the end.
ReadStep ClassifyRead(bool succeeded, DWORD got, SystemError error, bool pipe);

/// The UTF-16 text split into pieces of at most units code units, never
/// between the two halves of a surrogate pair, for WriteConsoleW.
std::vector<std::wstring_view> ConsolePieces(std::wstring_view text, std::size_t units);

/// The words the Linux build gives for a system error where Windows has its
/// own or a localised text (a missing file, a network path, a folder read
/// as a file, a closed pipe); null for the others.
const char* LinuxWordsFor(DWORD error);

}  // namespace windows
}  // namespace platform

#endif  // QAMCVS_PLATFORM_PLATFORM_WINDOWS_H_
