// The Windows port of the platform layer. Text is UTF-8 everywhere else in
// the program; it becomes UTF-16 here, at the Windows calls, and nowhere else.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <thread>

#include "platform.h"
#include "platform_windows.h"

namespace platform {
namespace {

std::function<void(std::string_view)>& TraceSink() {
  static std::function<void(std::string_view)> sink;
  return sink;
}

}  // namespace

void Trace(std::string_view text) {
  const std::string line = TraceLine(text);
  if (TraceSink()) {
    TraceSink()(line);
    return;
  }
  // A debugger shows the text as it is: no line end is added.
  OutputDebugStringA(line.c_str());
}

void SetTraceSink(std::function<void(std::string_view)> sink) {
  TraceSink() = std::move(sink);
}

SystemError LastSystemError() { return static_cast<SystemError>(GetLastError()); }

void SetLastSystemError(SystemError error) { SetLastError(static_cast<DWORD>(error)); }

SystemError WriteFault() { return ERROR_WRITE_FAULT; }

namespace windows {

const char* LinuxWordsFor(DWORD error) {
  // glibc's strerror texts, so that a host reads the same failure document
  // on both builds, whatever the language of the Windows it runs on.
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return "No such file or directory";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_CANT_ACCESS_FILE:
      return "Permission denied";
    case ERROR_INVALID_NAME:
      return "Invalid argument";
    case ERROR_DIRECTORY:
      return "Not a directory";
    case kErrorFolderRead:
      return "Is a directory";
    case ERROR_NOT_READY:  // a drive without its medium
      return "No medium found";
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
    case ERROR_PIPE_NOT_CONNECTED:
      return "Broken pipe";
    case ERROR_CANT_RESOLVE_FILENAME:
      return "Too many levels of symbolic links";
    case ERROR_NOT_SAME_DEVICE:
      return "Invalid cross-device link";
    case ERROR_FILENAME_EXCED_RANGE:
      return "File name too long";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "No space left on device";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return "Cannot allocate memory";
    default:
      return nullptr;
  }
}

}  // namespace windows

namespace {

// The system's text for error in language (0: the system's own choice),
// without its final full stop and line end; empty when it has none.
std::string MessageText(DWORD error, DWORD language) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, language, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason = length > 0 ? Narrow(std::wstring_view(text, length)) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == ' ' || reason.back() == '.')) {
    reason.pop_back();
  }
  return reason;
}

}  // namespace

std::string SystemErrorText(const std::string& context, SystemError error) {
  const DWORD code = static_cast<DWORD>(error);
  if (const char* words = windows::LinuxWordsFor(code)) return context + ": " + words;
  // US English where the system has it, not the language of its users.
  std::string reason = MessageText(code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (reason.empty()) reason = MessageText(code, 0);
  if (reason.empty()) reason = "system error " + std::to_string(error);
  return context + ": " + reason;
}

int FormatWide(wchar_t* buffer, std::size_t units, const wchar_t* format, ...) {
  // MinGW's C99 swprintf reads "%s" as narrow; the Microsoft C runtime's own
  // counted formatter reads it as wide, as QAM_WIDE_STRING_FORMAT says.
  if (units == 0) return -1;
  std::va_list arguments;
  va_start(arguments, format);
  const int written = _vsnwprintf(buffer, units, format, arguments);
  va_end(arguments);
  // _vsnwprintf neither terminates nor fails when the text fills the buffer.
  if (written < 0 || static_cast<std::size_t>(written) >= units) return -1;
  buffer[written] = L'\0';
  return written;
}

void FlushAllStreams() {
  std::cout.flush();
  std::cerr.flush();
  _flushall();
}

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

}  // namespace windows

namespace {

// A pipe that takes nothing (PIPE_NOWAIT and full) is tried again for this
// long without progress, the time a FIFO's writer is waited for.
constexpr DWORD kStalledWriteMilliseconds = 60 * 1000;

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
        return static_cast<SystemError>(GetLastError());
      }
      if (put == 0) return ERROR_WRITE_FAULT;
      piece.remove_prefix(std::min<std::size_t>(put, piece.size()));
    }
  }
  return 0;
}

}  // namespace

SystemError WriteToStandardOutput(std::string_view text, std::string_view end) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  // One buffer: a message-mode pipe receives the document as one message,
  // not the document and then its line feed.
  std::string whole;
  whole.reserve(text.size() + end.size());
  whole.append(text).append(end);
  DWORD mode = 0;
  if (GetConsoleMode(output, &mode) != 0) return WriteToConsole(output, whole);
  std::string_view rest = whole;
  DWORD stalled = 0;
  DWORD pause = 1;
  while (!rest.empty()) {
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 1u << 30));
    DWORD put = 0;
    if (WriteFile(output, rest.data(), wanted, &put, nullptr) == 0) {
      return static_cast<SystemError>(GetLastError());
    }
    if (put > 0) {
      rest.remove_prefix(put);
      stalled = 0;
      pause = 1;
      continue;
    }
    // A non-blocking pipe that is full: wait until the host reads.
    if (stalled >= kStalledWriteMilliseconds) return ERROR_WRITE_FAULT;
    Sleep(pause);
    stalled += pause;
    pause = std::min<DWORD>(2 * pause, 50);
  }
  return 0;
}

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return std::wstring();
  const int size = static_cast<int>(utf8.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), units);
  return wide;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

Utf8Arguments::Utf8Arguments(int /*argc*/, char** /*argv*/) {
  // The narrow argv is a best-fit conversion of the command line into the
  // ANSI code page: a name outside it becomes question marks, U+3000 and
  // U+2000-U+2006 become blanks that split an argument, U+FF02 becomes a
  // quotation mark that can make one, U+FF3C (and, in code page 932, U+00A5)
  // a back-slash. Only the wide command line holds what the host gave.
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) throw std::bad_alloc();
  for (int i = 0; i < count; ++i) texts_.push_back(Narrow(wide[i]));
  LocalFree(wide);
  for (std::string& text : texts_) pointers_.push_back(text.data());
  pointers_.push_back(nullptr);
}

// --- File system -----------------------------------------------------------
// Every path goes to the system in extended form (windows::ExtendedPath):
// "/" and "\" alike separate, and names are taken as the host wrote them.

namespace {

using windows::ExtendedPath;

// A handle opened with the access asked for; FILE_FLAG_BACKUP_SEMANTICS lets
// it open folders too. Links and junctions are followed.
windows::Handle OpenPath(const std::wstring& extended, DWORD access) {
  return windows::Handle(CreateFileW(extended.c_str(), access,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The attributes of what the extended path leads to, links followed; false
// when nothing is there (a dangling link included).
bool TargetAttributes(const std::wstring& extended, DWORD* attributes) {
  const DWORD own = GetFileAttributesW(extended.c_str());
  if (own == INVALID_FILE_ATTRIBUTES) return false;
  if ((own & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    *attributes = own;
    return true;
  }
  const windows::Handle target = OpenPath(extended, FILE_READ_ATTRIBUTES);
  BY_HANDLE_FILE_INFORMATION info;
  if (!target.ok() || GetFileInformationByHandle(target.get(), &info) == 0) return false;
  *attributes = info.dwFileAttributes;
  return true;
}

// The extended form of a path that names something a repository can hold,
// or false for one whose name Windows forbids (a stream "a:b", a pattern).
bool RepositoryPath(const std::string& path, std::wstring* extended) {
  *extended = ExtendedPath(Widen(path));
  return !windows::HasForbiddenComponent(*extended);
}

bool IsFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

struct FindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};

}  // namespace

EntryKind KindOf(const std::string& path) {
  std::wstring extended;
  DWORD attributes = 0;
  if (!RepositoryPath(path, &extended) || !TargetAttributes(extended, &attributes)) {
    return EntryKind::kMissing;
  }
  if (IsFolder(attributes)) return EntryKind::kFolder;
  return (attributes & FILE_ATTRIBUTE_DEVICE) != 0 ? EntryKind::kOther : EntryKind::kFile;
}

bool MayAccess(const std::string& path, bool read, bool write) {
  std::wstring extended;
  DWORD attributes = 0;
  if (!RepositoryPath(path, &extended) || !TargetAttributes(extended, &attributes)) return false;
  if (!IsFolder(attributes) && write && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return false;
  }
  DWORD access = FILE_READ_ATTRIBUTES;
  if (IsFolder(attributes)) {
    if (read) access |= FILE_LIST_DIRECTORY;
    if (write) access |= FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY;
  } else {
    if (read) access |= GENERIC_READ;
    if (write) access |= GENERIC_WRITE;
  }
  return OpenPath(extended, access).ok();
}

bool ListFolder(const std::string& folder, std::vector<std::string>* files,
                std::vector<std::string>* folders) {
  std::wstring base;
  if (!RepositoryPath(folder, &base)) return false;
  if (base.back() != L'\\') base += L'\\';
  WIN32_FIND_DATAW entry;
  HANDLE first = FindFirstFileExW((base + L"*").c_str(), FindExInfoBasic, &entry,
                                  FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (first == INVALID_HANDLE_VALUE) {
    // A drive's root folder has no "." and "..": empty, it yields nothing.
    // Some SMB servers and user-mode file systems answer the first look
    // into any empty folder with "no more files".
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) return false;
    files->clear();
    folders->clear();
    return true;
  }
  std::unique_ptr<void, FindCloser> find(first);
  std::vector<std::string> fileNames;
  std::vector<std::string> folderNames;
  do {
    const std::wstring_view name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    DWORD attributes = entry.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        !TargetAttributes(base + entry.cFileName, &attributes)) {
      attributes = 0;  // a dangling link is listed as a file
    }
    (IsFolder(attributes) ? folderNames : fileNames).push_back(Narrow(name));
  } while (FindNextFileW(find.get(), &entry) != 0);
  if (GetLastError() != ERROR_NO_MORE_FILES) return false;
  std::sort(fileNames.begin(), fileNames.end());
  std::sort(folderNames.begin(), folderNames.end());
  *files = std::move(fileNames);
  *folders = std::move(folderNames);
  return true;
}

namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// A disk file's size, or -1 for a pipe, a console or a device.
long long DiskFileSize(HANDLE handle) {
  LARGE_INTEGER size;
  if (GetFileType(handle) != FILE_TYPE_DISK || GetFileSizeEx(handle, &size) == 0) return -1;
  return static_cast<long long>(size.QuadPart);
}

}  // namespace

TextSource::~TextSource() {
  if (owned_) CloseHandle(AsHandle(handle_));
}

TextSource::TextSource(TextSource&& other) noexcept
    : handle_(other.handle_),
      owned_(other.owned_),
      knownSize_(other.knownSize_),
      hasPending_(other.hasPending_),
      pending_(other.pending_) {
  other.handle_ = -1;
  other.owned_ = false;
}

TextSource& TextSource::operator=(TextSource&& other) noexcept {
  if (this != &other) {
    if (owned_) CloseHandle(AsHandle(handle_));
    handle_ = other.handle_;
    owned_ = other.owned_;
    knownSize_ = other.knownSize_;
    hasPending_ = other.hasPending_;
    pending_ = other.pending_;
    other.handle_ = -1;
    other.owned_ = false;
  }
  return *this;
}

long long TextSource::Read(char* buffer, std::size_t size, SystemError* error) {
  if (size == 0) return 0;
  if (hasPending_) {
    hasPending_ = false;
    buffer[0] = pending_;
    return 1;
  }
  const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
  DWORD got = 0;
  if (ReadFile(AsHandle(handle_), buffer, wanted, &got, nullptr) != 0) return got;
  const DWORD failure = GetLastError();
  // The writer of a pipe closing is the end of the text, not a failure; so
  // is a named pipe's server disconnecting once it has written it all.
  if (failure == ERROR_BROKEN_PIPE || failure == ERROR_PIPE_NOT_CONNECTED) return 0;
  BY_HANDLE_FILE_INFORMATION info;
  const bool folder = GetFileInformationByHandle(AsHandle(handle_), &info) != 0 &&
                      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // A folder fails as Linux reads one: EISDIR.
  *error = static_cast<SystemError>(folder ? windows::kErrorFolderRead : failure);
  return -1;
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

// Opens the extended path for reading; a folder, which Windows refuses to
// open as a file, is opened as a folder, so that reading it fails as it does
// on Linux ("Is a directory").
// INVALID_HANDLE_VALUE with the reason in *error when it cannot be opened.
HANDLE OpenForReading(const std::wstring& name, DWORD* error) {
  const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE) return handle;
  *error = GetLastError();
  if (*error != ERROR_ACCESS_DENIED) return handle;
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !IsFolder(attributes)) return handle;
  return CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, sharing, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

TextOpening OpenTextFile(const std::string& path, int writerWaitMilliseconds,
                         TextSource* source, SystemError* error) {
  const std::wstring name = ExtendedPath(Widen(path));
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (int attempt = 0; handle == INVALID_HANDLE_VALUE; ++attempt) {
    DWORD failure = ERROR_ACCESS_DENIED;
    handle = OpenForReading(name, &failure);
    if (handle != INVALID_HANDLE_VALUE) break;
    *error = static_cast<SystemError>(failure);
    // A named pipe whose every instance is taken: wait, a bounded time, for
    // its server to offer one, as a FIFO's writer is waited for on Linux.
    if (failure != ERROR_PIPE_BUSY || attempt > 0) return TextOpening::kFailed;
    if (WaitNamedPipeW(name.c_str(), static_cast<DWORD>(writerWaitMilliseconds)) == 0) {
      failure = GetLastError();
      *error = static_cast<SystemError>(failure);
      return failure == ERROR_SEM_TIMEOUT ? TextOpening::kNoWriter : TextOpening::kFailed;
    }
  }
  TextSource opened;
  opened.handle_ = reinterpret_cast<std::intptr_t>(handle);
  opened.owned_ = true;
  if (IsOwnOutput(handle)) return TextOpening::kOwnOutput;
  opened.knownSize_ = DiskFileSize(handle);
  *source = std::move(opened);
  return TextOpening::kOpened;
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
