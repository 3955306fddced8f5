// The Windows port's standard streams and the tool's text: binary mode,
// standard handles that a host left out, the document written to a pipe, a
// file or the console, and OutputFile or standard input read to its end.
#include <windows.h>
#include <winternl.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"
#include "platform_windows.h"

namespace platform {

using windows::LastError;

void UseBinaryStandardStreams() {
  // In text mode the C runtime writes CR LF for every LF and drops the CR of
  // CR LF on input; the documents must be the same bytes as on Linux, and a
  // log on standard input must reach the parser as the tool wrote it.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

namespace {

// Set once at start by FillClosedStandardDescriptors.
bool standardInputWasClosed = false;

// True for a standard handle that a process started without one holds:
// null, INVALID_HANDLE_VALUE, or a value that names no open handle.
bool IsMissing(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return true;
  SetLastError(ERROR_SUCCESS);
  return GetFileType(handle) == FILE_TYPE_UNKNOWN && GetLastError() == ERROR_INVALID_HANDLE;
}

}  // namespace

void ReturnLargeBlocksWhenFreed() {
  // The process heap gives a block of 512 KiB or more its own virtual
  // allocation and releases it when the block is freed.
}

void FillClosedStandardDescriptors() {
  // A process started without a standard handle has none and the C
  // runtime's descriptor is not open: NUL takes the place. Standard output
  // is opened for reading only, so that writing the document fails as it
  // would have without one.
  const struct {
    DWORD which;
    int descriptor;
    DWORD access;
    int mode;
  } kStandard[] = {{STD_INPUT_HANDLE, 0, GENERIC_READ, _O_RDONLY},
                   {STD_OUTPUT_HANDLE, 1, GENERIC_READ, _O_RDONLY},
                   {STD_ERROR_HANDLE, 2, GENERIC_WRITE, _O_WRONLY}};
  for (const auto& standard : kStandard) {
    if (!IsMissing(GetStdHandle(standard.which))) continue;
    // A host that gave no standard input gave no text: reading NUL in its
    // place would answer "no revisions" as if it had.
    if (standard.which == STD_INPUT_HANDLE) standardInputWasClosed = true;
    const HANDLE null = CreateFileW(L"NUL", standard.access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (null == INVALID_HANDLE_VALUE) continue;
    const int opened = _open_osfhandle(reinterpret_cast<intptr_t>(null), standard.mode | _O_BINARY);
    if (opened < 0) {
      CloseHandle(null);
      continue;
    }
    if (opened != standard.descriptor) {
      _dup2(opened, standard.descriptor);
      _close(opened);
    }
    SetStdHandle(standard.which, reinterpret_cast<HANDLE>(_get_osfhandle(standard.descriptor)));
  }
}

namespace windows {

std::vector<std::wstring_view> ConsolePieces(std::wstring_view text, std::size_t units) {
  std::vector<std::wstring_view> pieces;
  while (!text.empty()) {
    std::size_t size = std::min(std::max<std::size_t>(units, 2), text.size());
    const wchar_t last = text[size - 1];
    if (size < text.size() && last >= 0xD800 && last <= 0xDBFF) --size;  // keep the pair whole
    pieces.push_back(text.substr(0, size));
    text.remove_prefix(size);
  }
  return pieces;
}

ReadStep ClassifyRead(bool succeeded, DWORD got, SystemError error, bool pipe) {
  // A message longer than the buffer comes in parts, each with ERROR_MORE_DATA.
  if ((succeeded || error == ERROR_MORE_DATA) && got > 0) return ReadStep::kData;
  if (succeeded) return pipe ? ReadStep::kAgain : ReadStep::kEnd;
  if (pipe) {
    switch (error) {
      case ERROR_BROKEN_PIPE:
      case ERROR_PIPE_NOT_CONNECTED:
        return ReadStep::kEnd;
      case ERROR_NO_DATA:
        return ReadStep::kWait;
      default:
        return ReadStep::kFailed;
    }
  }
  // A disk file opened for overlapped I/O reports its end as an error.
  return error == ERROR_HANDLE_EOF ? ReadStep::kEnd : ReadStep::kFailed;
}

}  // namespace windows

namespace {

// A pipe that makes no progress (full and PIPE_NOWAIT on writing, empty
// messages on reading) is tried again for this long, the time a FIFO's
// writer is waited for.
constexpr ULONGLONG kStalledMilliseconds = 60 * 1000;

// Waits between attempts that made no progress, with a pause that grows
// from 1 to 50 ms, until kStalledMilliseconds have passed in real time:
// Sleep(1) sleeps a whole clock tick (up to 15.6 ms), so a sum of the
// pauses asked for would run the bound several times over.
class Stall {
 public:
  void Progress() {
    waiting_ = false;
    pause_ = 1;
  }
  // False once the bound has passed without progress.
  bool Wait() {
    const ULONGLONG now = GetTickCount64();
    if (!waiting_) {
      waiting_ = true;
      since_ = now;
    } else if (now - since_ >= kStalledMilliseconds) {
      return false;
    }
    Sleep(pause_);
    pause_ = std::min<DWORD>(2 * pause_, 50);
    return true;
  }

 private:
  bool waiting_ = false;
  ULONGLONG since_ = 0;
  DWORD pause_ = 1;
};

// True for a pipe or disk file opened for overlapped I/O: neither
// FILE_SYNCHRONOUS_IO flag in its mode. Hosts built on some runtimes hand
// such handles to the programs they start, and ReadFile or WriteFile
// without an OVERLAPPED may then report an operation complete that is not,
// or refuse a disk file without an offset.
bool IsOverlapped(HANDLE handle) {
  const DWORD type = GetFileType(handle);
  if (type != FILE_TYPE_PIPE && type != FILE_TYPE_DISK) return false;
  IO_STATUS_BLOCK status;
  FILE_MODE_INFORMATION mode = {};
  if (NtQueryInformationFile(handle, &status, &mode, sizeof mode, FileModeInformation) < 0) {
    return false;
  }
  return (mode.Mode & (FILE_SYNCHRONOUS_IO_ALERT | FILE_SYNCHRONOUS_IO_NONALERT)) == 0;
}

// One ReadFile or WriteFile of size bytes, *done the bytes moved: 0, or the
// reason (*done may then count bytes too: ERROR_MORE_DATA). On a handle
// opened for overlapped I/O, with an OVERLAPPED and an event of its own,
// waited on with GetOverlappedResult; there the system keeps no position
// in a disk file, so it is read from the handle and moved on here.
SystemError Transfer(HANDLE handle, bool write, char* data, DWORD size, DWORD* done) {
  *done = 0;
  if (!IsOverlapped(handle)) {
    const BOOL ok = write ? WriteFile(handle, data, size, done, nullptr)
                          : ReadFile(handle, data, size, done, nullptr);
    return ok != 0 ? 0 : LastError();
  }
  const bool disk = GetFileType(handle) == FILE_TYPE_DISK;
  LARGE_INTEGER position = {};
  if (disk && SetFilePointerEx(handle, LARGE_INTEGER(), &position, FILE_CURRENT) == 0) {
    return LastError();
  }
  OVERLAPPED overlapped = {};
  overlapped.Offset = position.LowPart;
  overlapped.OffsetHigh = static_cast<DWORD>(position.HighPart);
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (overlapped.hEvent == nullptr) return LastError();
  BOOL ok = write ? WriteFile(handle, data, size, nullptr, &overlapped)
                  : ReadFile(handle, data, size, nullptr, &overlapped);
  if (ok != 0 || GetLastError() == ERROR_IO_PENDING || GetLastError() == ERROR_MORE_DATA) {
    ok = GetOverlappedResult(handle, &overlapped, done, TRUE);
  }
  const SystemError error = ok != 0 ? 0 : LastError();
  CloseHandle(overlapped.hEvent);
  if (disk && *done > 0) {
    position.QuadPart += *done;
    SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
  }
  return error;
}

// A non-blocking message-type pipe answers a message larger than its free
// buffer with success and no byte written, however often it is asked, so
// such a pipe is made blocking for the one write and put back as it was.
class BlockingForOneWrite {
 public:
  explicit BlockingForOneWrite(HANDLE pipe) {
    DWORD flags = 0;
    DWORD state = 0;
    if (GetNamedPipeInfo(pipe, &flags, nullptr, nullptr, nullptr) == 0 ||
        (flags & PIPE_TYPE_MESSAGE) == 0 ||
        GetNamedPipeHandleState(pipe, &state, nullptr, nullptr, nullptr, nullptr, 0) == 0 ||
        (state & PIPE_NOWAIT) == 0) {
      return;
    }
    DWORD blocking = state & ~static_cast<DWORD>(PIPE_NOWAIT);  // the read mode stays
    if (SetNamedPipeHandleState(pipe, &blocking, nullptr, nullptr) == 0) return;
    pipe_ = pipe;
    saved_ = state;
  }
  ~BlockingForOneWrite() {
    if (pipe_ != nullptr) SetNamedPipeHandleState(pipe_, &saved_, nullptr, nullptr);
  }
  BlockingForOneWrite(const BlockingForOneWrite&) = delete;
  BlockingForOneWrite& operator=(const BlockingForOneWrite&) = delete;

 private:
  HANDLE pipe_ = nullptr;
  DWORD saved_ = 0;
};

// A console shows bytes through its code page (437 or 850), so "café" would
// read "caf├⌐": the document goes to it as UTF-16, in pieces that the
// console takes at once.
SystemError WriteToConsole(HANDLE console, std::string_view text) {
  const std::wstring wide = Widen(text);
  for (std::wstring_view piece : windows::ConsolePieces(wide, 8192)) {
    while (!piece.empty()) {
      DWORD put = 0;
      if (WriteConsoleW(console, piece.data(), static_cast<DWORD>(piece.size()), &put, nullptr) ==
          0) {
        return LastError();
      }
      if (put == 0) return ERROR_WRITE_FAULT;
      piece.remove_prefix(std::min<std::size_t>(put, piece.size()));
    }
  }
  return 0;
}

}  // namespace

SystemError WriteToStandardOutput(std::string_view text, std::string_view end) {
  // What the C stream holds goes ahead of the document. The C runtime keeps
  // the system's own error of a failed write in _doserrno.
  _doserrno = 0;
  if (std::fflush(stdout) != 0) {
    return _doserrno != 0 ? static_cast<SystemError>(_doserrno) : ERROR_WRITE_FAULT;
  }
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  // One buffer: a message-mode pipe receives the document as one message,
  // not the document and then its line feed.
  std::string whole;
  whole.reserve(text.size() + end.size());
  whole.append(text).append(end);
  DWORD mode = 0;
  if (GetConsoleMode(output, &mode) != 0) return WriteToConsole(output, whole);
  const BlockingForOneWrite blocking(output);
  std::size_t written = 0;
  Stall stall;
  while (written < whole.size()) {
    const DWORD wanted =
        static_cast<DWORD>(std::min<std::size_t>(whole.size() - written, 1u << 30));
    DWORD put = 0;
    if (const SystemError error = Transfer(output, true, whole.data() + written, wanted, &put);
        error != 0) {
      return error;
    }
    if (put > 0) {
      written += std::min<std::size_t>(put, whole.size() - written);
      stall.Progress();
      continue;
    }
    // A non-blocking pipe that is full: wait until the host reads.
    if (!stall.Wait()) return ERROR_WRITE_FAULT;
  }
  return 0;
}

namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// A disk file's size, or -1 for a pipe, a console or a device.
long long DiskFileSize(HANDLE handle) {
  LARGE_INTEGER size;
  if (GetFileType(handle) != FILE_TYPE_DISK || GetFileSizeEx(handle, &size) == 0) return -1;
  return static_cast<long long>(size.QuadPart);
}

// True for the error that a pipe gives once its writer has gone.
bool IsWriterGone(SystemError error) {
  return error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED;
}

// What a pipe holds, *available bytes: 0, or the error that PeekNamedPipe
// gives (IsWriterGone once the writer has gone).
SystemError PeekPipe(HANDLE pipe, DWORD* available) {
  *available = 0;
  return PeekNamedPipe(pipe, nullptr, 0, nullptr, available, nullptr) != 0 ? 0 : LastError();
}

// Waits until a non-blocking pipe that is empty holds input, as poll(2)
// does on Linux: without a bound while its writer is there, since a blocking
// pipe would wait as long. 0 when there is input, else PeekPipe's error.
SystemError WaitForInput(HANDLE pipe) {
  DWORD pause = 1;
  for (;;) {
    DWORD available = 0;
    if (const SystemError failure = PeekPipe(pipe, &available); failure != 0) return failure;
    if (available > 0) return 0;
    Sleep(pause);
    pause = std::min<DWORD>(2 * pause, 50);
  }
}

}  // namespace

void TextSource::Close() {
  if (owned_) CloseHandle(AsHandle(handle_));
  owned_ = false;
}

SystemError TextSource::ReadFromSystem(char* buffer, std::size_t size, std::size_t* got) {
  const HANDLE handle = AsHandle(handle_);
  const bool pipe = GetFileType(handle) == FILE_TYPE_PIPE;
  const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
  Stall emptyMessages;
  for (;;) {
    DWORD done = 0;
    const SystemError failure = Transfer(handle, false, buffer, wanted, &done);
    switch (windows::ClassifyRead(failure == 0, done, failure, pipe)) {
      case windows::ReadStep::kData:
        *got = std::min<DWORD>(done, wanted);
        return 0;
      case windows::ReadStep::kEnd:
        return 0;
      case windows::ReadStep::kAgain: {
        // A writer's zero-length message, after which the text goes on, as
        // long as PeekNamedPipe finds the writer there. A pipe it cannot
        // look into (Wine gives a Unix pipe as one, and its end as zero
        // bytes) ends there, as on Linux.
        DWORD available = 0;
        if (PeekPipe(handle, &available) != 0) return 0;
        // A writer that sends nothing else for as long as a full pipe is
        // waited on has stopped.
        if (available > 0 || emptyMessages.Wait()) continue;
        return ERROR_NO_DATA;
      }
      case windows::ReadStep::kWait: {
        const SystemError waited = WaitForInput(handle);
        if (waited == 0) continue;
        if (IsWriterGone(waited)) return 0;
        return failure;  // a pipe that cannot be waited on
      }
      case windows::ReadStep::kFailed:
        break;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool folder = GetFileInformationByHandle(handle, &info) != 0 &&
                        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A folder fails as Linux reads one: EISDIR.
    return folder ? static_cast<SystemError>(windows::kErrorFolderRead) : failure;
  }
}

namespace {

// True when the opened console or pipe is what this program writes its
// standard output or error to: reading it would never end. A process has
// one console, so any console handle is the terminal of a standard output
// that is a console; a pipe is the same pipe when the volume serial number
// and file index agree. A disk file, as on Linux, is read to its end.
bool IsOwnOutput(HANDLE opened) {
  const DWORD type = GetFileType(opened);
  if (type != FILE_TYPE_CHAR && type != FILE_TYPE_PIPE) return false;
  DWORD mode = 0;
  const bool console = type == FILE_TYPE_CHAR && GetConsoleMode(opened, &mode) != 0;
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(opened, &info) != 0;
  for (const DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    const HANDLE own = GetStdHandle(which);
    if (own == nullptr || own == INVALID_HANDLE_VALUE) continue;
    if (console) {
      if (GetConsoleMode(own, &mode) != 0) return true;
      continue;
    }
    BY_HANDLE_FILE_INFORMATION ownInfo;
    if (known && GetFileType(own) == type && GetFileInformationByHandle(own, &ownInfo) != 0 &&
        ownInfo.dwVolumeSerialNumber == info.dwVolumeSerialNumber &&
        ownInfo.nFileIndexHigh == info.nFileIndexHigh &&
        ownInfo.nFileIndexLow == info.nFileIndexLow) {
      return true;
    }
  }
  return false;
}

// Opens the extended path for reading into *handle: 0, or the reason. A
// folder, which Windows refuses to open as a file, is opened as a folder, so
// that reading it fails as it does on Linux ("Is a directory").
SystemError OpenForReading(const std::wstring& name, HANDLE* handle) {
  const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  *handle = CreateFileW(name.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  if (*handle != INVALID_HANDLE_VALUE) return 0;
  const SystemError error = LastError();
  if (error != ERROR_ACCESS_DENIED) return error;
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return error;
  }
  *handle = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, sharing, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  // The folder's own open failing leaves the first reason.
  return *handle != INVALID_HANDLE_VALUE ? 0 : error;
}

}  // namespace

SystemError OpenTextFile(const std::string& path, int writerWaitMilliseconds, TextSource* source,
                         TextOpening* opening) {
  const std::wstring name = windows::ExtendedPath(Widen(path));
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (int attempt = 0;; ++attempt) {
    const SystemError failure = OpenForReading(name, &handle);
    if (failure == 0) break;
    // A named pipe whose every instance is taken: wait, a bounded time, for
    // its server to offer one, as a FIFO's writer is waited for on Linux.
    if (failure != ERROR_PIPE_BUSY || attempt > 0) return failure;
    if (WaitNamedPipeW(name.c_str(), static_cast<DWORD>(writerWaitMilliseconds)) == 0) {
      const SystemError waited = LastError();
      if (waited != ERROR_SEM_TIMEOUT) return waited;
      *opening = TextOpening::kNoWriter;
      return 0;
    }
  }
  TextSource opened;
  opened.handle_ = reinterpret_cast<std::intptr_t>(handle);
  opened.owned_ = true;
  if (IsOwnOutput(handle)) {
    *opening = TextOpening::kOwnOutput;
    return 0;
  }
  opened.knownSize_ = DiskFileSize(handle);
  *source = std::move(opened);
  *opening = TextOpening::kOpened;
  return 0;
}

TextOpening StandardInputText(TextSource* source) {
  if (standardInputWasClosed) return TextOpening::kClosed;
  TextSource input;
  HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
  input.handle_ = reinterpret_cast<std::intptr_t>(handle);
  input.knownSize_ = handle != nullptr && handle != INVALID_HANDLE_VALUE ? DiskFileSize(handle) : -1;
  *source = std::move(input);
  return TextOpening::kOpened;
}

}  // namespace platform
