// What a port of qamcvs must provide: the only home of operating-system
// differences. The build compiles one port: platform_posix.cpp and
// folder_beneath_posix.cpp on Linux; platform_windows.cpp,
// standard_streams_windows.cpp, folder_beneath_windows.cpp and
// windows_path.cpp on Windows (the Windows meaning is given with each
// function). trace_line.cpp is shared by both.
//
// Errors, one rule for every function here and in the ports: a function that
// can fail returns a SystemError, a positive system error number, 0 when it
// succeeded; what it produces comes through its pointer parameters and means
// something only when it returned 0. A question whose answer is the result
// (KindOf, EntryExistsBeneath, ErrorMeansExists) returns that answer, a
// failure to look counting as "no". One failure is no system error and says
// so its own way: FormatWide's text that does not fit (-1, as swprintf). No
// function reports through
// the thread's last error; LastSystemError and SetLastSystemError exist only
// for the folder-creation contract of the utility library.
#ifndef QAMCVS_PLATFORM_PLATFORM_H_
#define QAMCVS_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// Sends text to the debugger trace channel as one line: syslog at
/// LOG_USER|LOG_DEBUG here, OutputDebugStringA on Windows. Never standard
/// output or error. A control character in text (a line feed in a path) is
/// written as "#" and three octal digits, the way rsyslog shows it, so that
/// no text can forge a second line.
void Trace(std::string_view text);

/// text as Trace sends it, control characters written as "#ooo"; the same
/// on every port (trace_line.cpp).
std::string TraceLine(std::string_view text);

/// Replaces the trace channel (tests read what is traced); an empty function
/// restores the default.
void SetTraceSink(std::function<void(std::string_view)> sink);

/// The port's own trace channel, which Trace uses when no sink is set: one
/// line, already made by TraceLine. syslog(LOG_USER | LOG_DEBUG, "%s") here,
/// OutputDebugStringA on Windows.
void SendToSystemTrace(const std::string& line);

/// A system error number: errno here, a Win32 error code on Windows;
/// positive, 0 is none. The functions below return it, their results coming
/// through pointer parameters.
using SystemError = int;

/// The last system error of the calling thread (errno, GetLastError), and
/// setting it: only for the utility library's contract that leaves the cause
/// of a failed folder creation for its caller to read.
SystemError LastSystemError();
void SetLastSystemError(SystemError error);

/// "context: reason" for a system error: strerror here; on Windows the
/// Linux build's words for the errors a host meets ("No such file or
/// directory", "Is a directory"), FormatMessage in US English for the others.
std::string SystemErrorText(const std::string& context, SystemError error);

/// The system error number meaning "no such file or folder" (ENOENT, 2; on
/// Windows ERROR_FILE_NOT_FOUND, also 2). Windows reports a missing parent
/// folder of a new folder as ERROR_PATH_NOT_FOUND (3) instead.
constexpr int kFileNotFound = 2;

/// Wide-character format for a wide string argument, as FormatWide reads it:
/// glibc's wide printf reads "%s" as narrow and needs "%ls", where the
/// Windows C runtime reads "%s" as wide.
#ifdef _WIN32
#define QAM_WIDE_STRING_FORMAT L"%s"
#else
#define QAM_WIDE_STRING_FORMAT L"%ls"
#endif

/// Counted wide formatting into buffer (units wide characters, the NUL
/// included): vswprintf here, the C runtime's _vsnwprintf on Windows. Returns
/// the characters written, or -1 when the text does not fit (nothing is cut
/// silently).
int FormatWide(wchar_t* buffer, std::size_t units, const wchar_t* format, ...);

/// Flushes every C and C++ output stream (_flushall on Windows).
void FlushAllStreams();

/// Puts standard input, output and error in binary mode, so that the bytes
/// written are the bytes given (nothing here; on Windows no CR is added
/// before a line feed, nor dropped on input).
void UseBinaryStandardStreams();

/// The process arguments as UTF-8, for the command-line parser: argv as it
/// is here; on Windows the wide command line converted once, since the
/// narrow argv is in the ANSI code page and loses every character it lacks.
class Utf8Arguments {
 public:
  Utf8Arguments(int argc, char** argv);
  int count() const { return static_cast<int>(texts_.size()); }
  /// argv-style, NUL-terminated texts followed by a null pointer; owned here.
  char** values() { return pointers_.data(); }

 private:
  std::vector<std::string> texts_;
  std::vector<char*> pointers_;
};

// --- File system -----------------------------------------------------------
// Paths are UTF-8 at this seam. The Windows port converts them to UTF-16 here
// and calls the wide-character functions; nothing above this layer names an
// operating system's file call.

/// What a path names once every link on it is followed.
enum class EntryKind { kMissing, kFolder, kFile, kOther };

/// stat here (kFile is a regular file, kOther a device, FIFO or socket). On
/// Windows GetFileAttributesW, and CreateFileW with
/// FILE_FLAG_BACKUP_SEMANTICS and GetFileInformationByHandle for a reparse
/// point, so that links are followed; a directory is kFolder, a device
/// kOther and anything else kFile. Every Windows path goes to the system in
/// "\\?\" form, taken literally and at any length; a path whose name holds a
/// character Windows forbids (a stream "a:b") is kMissing there.
EntryKind KindOf(const std::string& path);

/// 0 when the calling process may read (when read) and write (when write)
/// path with its real rights, else the reason it may not (a missing path
/// included): access(2) here. On Windows the read-only attribute refuses
/// writing a file (ERROR_ACCESS_DENIED), and the rest is asked of the system
/// by opening the path with that access (a folder: listing it, adding to it).
SystemError CheckAccess(const std::string& path, bool read, bool write);

/// Fills files and folders with the bare names in folder, without "." and
/// "..", each list sorted by bytes: 0, or the reason the folder could not be
/// opened or read (the lists are then left as they were). A link to a folder
/// counts as a folder; any other entry, a dangling link included, as a file.
/// opendir/readdir here; FindFirstFileW and FindNextFileW on Windows, where a
/// reparse point to a folder is a folder.
SystemError ListFolder(const std::string& folder, std::vector<std::string>* files,
                       std::vector<std::string>* folders);

/// Fills each of the standard descriptors 0, 1 and 2 that is closed, so
/// that no file opened later takes its place: with /dev/null, standard
/// output open for reading only, so that writing the document there fails as
/// it would have on the closed descriptor (NUL on Windows, for a handle that
/// is missing or invalid). Remembers a closed standard input for
/// StandardInputText. Call it first.
void FillClosedStandardDescriptors();

/// Has every large block (128 KiB or more) that the program frees go back
/// to the system at once, so that a buffer freed before the peak does not
/// stay part of it: glibc otherwise raises its threshold to the size of a
/// freed block and keeps later blocks of that size in its heap. Windows'
/// heap already returns blocks that large. Call it first.
void ReturnLargeBlocksWhenFreed();

/// Writes what the C standard output stream holds (fflush), then all of text
/// and then end to standard output, past short writes, interrupted writes and
/// a non-blocking descriptor: 0 when every byte was written, else the reason
/// (the flush's own included). writev(2) here, so that a short document
/// reaches a pipe in one piece; on Windows one WriteFile buffer, retried on
/// a full non-blocking pipe for up to 60 seconds without progress (a
/// non-blocking message-type pipe is made blocking for the write), with an
/// OVERLAPPED on a handle opened for overlapped I/O, and WriteConsoleW on a
/// console.
SystemError WriteToStandardOutput(std::string_view text, std::string_view end);

/// What OpenTextFile and StandardInputText found.
enum class TextOpening {
  kOpened,
  kOwnOutput,  // the pipe, socket or terminal of this program's standard output or error
  kNoWriter,   // a FIFO that no program opened for writing in time
  kClosed,     // standard input, closed when the program started
};

/// A file or stream open for reading the version-control tool's text. Owns
/// what it opened (standard input is only borrowed); movable, not copyable.
class TextSource {
 public:
  TextSource() = default;
  ~TextSource() { Close(); }
  TextSource(TextSource&& other) noexcept { Take(other); }
  TextSource& operator=(TextSource&& other) noexcept {
    if (this != &other) {
      Close();
      Take(other);
    }
    return *this;
  }
  TextSource(const TextSource&) = delete;
  TextSource& operator=(const TextSource&) = delete;

  /// The size of a regular file; -1 for anything else (a pipe, a device).
  long long KnownSize() const { return knownSize_; }
  /// Reads at most size bytes into buffer, *got the count (0 at the end): 0,
  /// or the reason it could not. A byte that opening the source read first is
  /// handed out first.
  SystemError Read(char* buffer, std::size_t size, std::size_t* got) {
    *got = 0;
    if (size == 0) return 0;
    if (hasPending_) {
      hasPending_ = false;
      buffer[0] = pending_;
      *got = 1;
      return 0;
    }
    return ReadFromSystem(buffer, size, got);
  }

 private:
  friend SystemError OpenTextFile(const std::string& path, int writerWaitMilliseconds,
                                  TextSource* source, TextOpening* opening);
  friend TextOpening StandardInputText(TextSource* source);

  /// Read without the pending byte, size above 0. A non-blocking pipe or
  /// FIFO is waited on until input or its end arrives. read(2) and poll(2)
  /// here; ReadFile on Windows (PeekNamedPipe to wait), where a named pipe's
  /// server disconnecting ends the text and a zero-length message does not.
  SystemError ReadFromSystem(char* buffer, std::size_t size, std::size_t* got);

  /// Closes what this owns: close(2) here, CloseHandle on Windows.
  void Close();
  /// Takes what other holds; other is left owning nothing.
  void Take(TextSource& other) {
    handle_ = other.handle_;
    owned_ = other.owned_;
    knownSize_ = other.knownSize_;
    hasPending_ = other.hasPending_;
    pending_ = other.pending_;
    other.handle_ = -1;
    other.owned_ = false;
  }

  std::intptr_t handle_ = -1;  // a descriptor here, a HANDLE on Windows
  bool owned_ = false;
  long long knownSize_ = -1;
  // A byte read while waiting for a FIFO's writer, handed out first.
  bool hasPending_ = false;
  char pending_ = 0;
};

/// Opens path for reading without blocking: 0 with *opening saying what was
/// found (kOpened with *source holding it, kOwnOutput for this program's own
/// standard output or error, which reading would never end, or kNoWriter for
/// a FIFO that had no writer within writerWaitMilliseconds), else the reason
/// it could not be opened. open(2) with O_NONBLOCK here; CreateFileW on
/// Windows, where a named pipe is waited on with WaitNamedPipeW and a folder
/// is opened as one, so that reading it fails as on Linux; there the console
/// is refused when standard output or error is the console.
SystemError OpenTextFile(const std::string& path, int writerWaitMilliseconds, TextSource* source,
                         TextOpening* opening);

/// Standard input as a text source (GetStdHandle(STD_INPUT_HANDLE) on
/// Windows), which stays open when the source is destroyed; kClosed when it
/// was closed (on Windows missing or invalid) when the program started.
TextOpening StandardInputText(TextSource* source);

/// The repository root as the system's own programs read root: root itself
/// here. On Windows, where every program (cvs.exe, Explorer) reads
/// "C:\cvsroot." and "C:\cvsroot " as C:\cvsroot, root as GetFullPathNameW
/// reads it: its last component without trailing dots and blanks, each
/// other one without one trailing dot ("C:\cvs.\root\" is C:\cvs\root\);
/// components of dots alone as they are; unchanged in "\\?\" or "\??\"
/// form, which Windows takes literally. Names beneath the root are not read
/// so: "src." is not "src".
std::string RepositoryRoot(const std::string& root);

/// True when anything is at path beneath the folder root (a final link not
/// followed), every link before it resolved without leaving root. root
/// itself may be a link.
bool EntryExistsBeneath(const std::string& root, const std::string& path);

/// Makes the one folder path beneath the folder root, every link on the way
/// resolved without leaving root (root itself may be a link), so that the
/// folder made always lies beneath root: 0 when made, else the reason; a
/// path that would leave root is refused with EXDEV (ERROR_NOT_SAME_DEVICE).
/// Linux: openat2 with RESOLVE_BENEATH, and a walk of the components with
/// openat where the kernel lacks openat2 (ENOSYS), refuses an absolute link
/// that the walk can still follow inside the root (EXDEV) or saw a rename
/// race (EAGAIN); then mkdirat. Windows: each folder is opened relative to
/// the one before it with NtCreateFile and held without sharing deletion,
/// links are read and followed only inside the root, and the folder is made
/// relative to the held parent; a missing parent is ERROR_PATH_NOT_FOUND,
/// and a name that ordinary Windows programs could not open (CON, "a:b",
/// "new.") is refused with ERROR_INVALID_NAME.
SystemError MakeFolderBeneath(const std::string& root, const std::string& path);

/// True when a system error says that something exists already (EEXIST;
/// ERROR_ALREADY_EXISTS or ERROR_FILE_EXISTS on Windows).
bool ErrorMeansExists(SystemError error);

}  // namespace platform

#endif  // QAMCVS_PLATFORM_PLATFORM_H_
