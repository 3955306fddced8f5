// What a port of qamcvs must provide: the only home of operating-system
// differences. platform_posix.cpp is the Linux port; a Windows port would
// implement the same functions (the Windows meaning is given with each).
#ifndef QAMCVS_PLATFORM_PLATFORM_H_
#define QAMCVS_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// Sends text to the debugger trace channel: syslog at LOG_USER|LOG_DEBUG
/// here, OutputDebugStringA on Windows. Never standard output or error.
void Trace(std::string_view text);

/// Replaces the trace channel (tests read what is traced); an empty function
/// restores the default.
void SetTraceSink(std::function<void(std::string_view)> sink);

/// The last system error of the calling thread: errno here, GetLastError on
/// Windows. Read it right after the failing call.
int LastSystemError();

/// "context: reason" for a system error number (strerror here).
std::string SystemErrorText(const std::string& context, int error);

/// The system error number meaning "no such file or folder" (ENOENT, 2; on
/// Windows ERROR_FILE_NOT_FOUND, also 2).
constexpr int kFileNotFound = 2;

/// Wide-character format for a wide string argument: glibc's wide printf and
/// scanf read "%s" as narrow and need "%ls", where Windows reads "%s" as wide.
#define QAM_WIDE_STRING_FORMAT L"%ls"

/// Starts the XML platform (Xerces-C) with the default locale and no NLS
/// home, panic handler or memory manager. Returns false, with a reason in
/// *why, when it cannot be started.
bool StartXmlPlatform(std::string* why);
/// Stops the XML platform if it was started.
void StopXmlPlatform();
/// True between a successful StartXmlPlatform and StopXmlPlatform.
bool XmlPlatformIsUp();

/// Flushes every C and C++ output stream (_flushall on Windows).
void FlushAllStreams();

// --- File system -----------------------------------------------------------
// Paths are UTF-8 at this seam. The Windows port converts them to UTF-16 here
// and calls the wide-character functions; nothing above this layer names an
// operating system's file call.

/// True when anything is at path, a final link not followed (a dangling link
/// counts): lstat here; GetFileAttributesW on Windows, which reports a
/// reparse point itself rather than its target.
bool EntryExists(const std::string& path);

/// What a path names once every link on it is followed.
enum class EntryKind { kMissing, kFolder, kFile, kOther };

/// stat here (kFile is a regular file, kOther a device, FIFO or socket). On
/// Windows CreateFileW with FILE_FLAG_BACKUP_SEMANTICS and
/// GetFileInformationByHandle, so that reparse points are followed; a
/// directory is kFolder and anything else kFile.
EntryKind KindOf(const std::string& path);

/// True when the calling process may read (when read) and write (when write)
/// path with its real rights: access(2) here. On Windows the read-only
/// attribute refuses writing, and AccessCheck with the caller's token
/// decides the rest.
bool MayAccess(const std::string& path, bool read, bool write);

/// Fills files and folders with the bare names in folder, without "." and
/// "..", each list sorted by bytes. A link to a folder counts as a folder;
/// any other entry, a dangling link included, as a file. False when the
/// folder cannot be opened or read. opendir/readdir here; FindFirstFileW and
/// FindNextFileW on Windows, where a reparse point to a folder is a folder.
bool ListFolder(const std::string& folder, std::vector<std::string>* files,
                std::vector<std::string>* folders);

/// Makes exactly one folder, never a missing parent. False with the reason in
/// LastSystemError(): mkdir(path, 0777) here; CreateDirectoryW on Windows.
bool MakeFolder(const std::string& path);

/// A file or stream open for reading the version-control tool's text. Owns
/// what it opened (standard input is only borrowed); movable, not copyable.
class TextSource {
 public:
  TextSource() = default;
  ~TextSource();
  TextSource(TextSource&& other) noexcept;
  TextSource& operator=(TextSource&& other) noexcept;
  TextSource(const TextSource&) = delete;
  TextSource& operator=(const TextSource&) = delete;

  /// The size of a regular file; -1 for anything else (a pipe, a device).
  long long KnownSize() const { return knownSize_; }
  /// Reads at most size bytes into buffer: the count, 0 at the end, or -1
  /// with the reason in LastSystemError(). read(2) here; ReadFile on Windows.
  long long Read(char* buffer, std::size_t size);

 private:
  friend bool OpenTextFile(const std::string& path, TextSource* source);
  friend TextSource StandardInputText();

  std::intptr_t handle_ = -1;  // a descriptor here, a HANDLE on Windows
  bool owned_ = false;
  long long knownSize_ = -1;
};

/// Opens path for reading into *source. False with the reason in
/// LastSystemError(): open(2) here; CreateFileW on Windows.
bool OpenTextFile(const std::string& path, TextSource* source);

/// Standard input as a text source (GetStdHandle(STD_INPUT_HANDLE) on
/// Windows); it stays open when the source is destroyed.
TextSource StandardInputText();

}  // namespace platform

#endif  // QAMCVS_PLATFORM_PLATFORM_H_
