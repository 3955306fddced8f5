// The Windows port of the platform layer. Text is UTF-8 everywhere else in
// the program; it becomes UTF-16 here, at the Windows calls, and nowhere else.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <memory>
#include <new>

#include "platform.h"
#include "platform_windows.h"

namespace platform {

void SendToSystemTrace(const std::string& line) {
  // A debugger shows the text as it is: no line end is added.
  OutputDebugStringA(line.c_str());
}

SystemError LastSystemError() { return static_cast<SystemError>(GetLastError()); }

void SetLastSystemError(SystemError error) { SetLastError(static_cast<DWORD>(error)); }

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

namespace windows {

SystemError LastError() {
  const DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? static_cast<SystemError>(error) : ERROR_GEN_FAILURE;
}

}  // namespace windows

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
using windows::LastError;

// A handle opened with the access asked for; FILE_FLAG_BACKUP_SEMANTICS lets
// it open folders too. Links and junctions are followed.
windows::Handle OpenPath(const std::wstring& extended, DWORD access) {
  return windows::Handle(CreateFileW(extended.c_str(), access,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The attributes of what the extended path leads to, links followed: 0, or
// the reason nothing can be seen there (a dangling link included).
SystemError TargetAttributes(const std::wstring& extended, DWORD* attributes) {
  const DWORD own = GetFileAttributesW(extended.c_str());
  if (own == INVALID_FILE_ATTRIBUTES) return LastError();
  if ((own & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    *attributes = own;
    return 0;
  }
  const windows::Handle target = OpenPath(extended, FILE_READ_ATTRIBUTES);
  BY_HANDLE_FILE_INFORMATION info;
  if (!target.ok() || GetFileInformationByHandle(target.get(), &info) == 0) return LastError();
  *attributes = info.dwFileAttributes;
  return 0;
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
  if (!RepositoryPath(path, &extended) || TargetAttributes(extended, &attributes) != 0) {
    return EntryKind::kMissing;
  }
  if (IsFolder(attributes)) return EntryKind::kFolder;
  return (attributes & FILE_ATTRIBUTE_DEVICE) != 0 ? EntryKind::kOther : EntryKind::kFile;
}

SystemError CheckAccess(const std::string& path, bool read, bool write) {
  std::wstring extended;
  if (!RepositoryPath(path, &extended)) return ERROR_INVALID_NAME;
  DWORD attributes = 0;
  if (const SystemError error = TargetAttributes(extended, &attributes); error != 0) return error;
  if (!IsFolder(attributes) && write && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return ERROR_ACCESS_DENIED;
  }
  DWORD access = FILE_READ_ATTRIBUTES;
  if (IsFolder(attributes)) {
    if (read) access |= FILE_LIST_DIRECTORY;
    if (write) access |= FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY;
  } else {
    if (read) access |= GENERIC_READ;
    if (write) access |= GENERIC_WRITE;
  }
  return OpenPath(extended, access).ok() ? 0 : LastError();
}

SystemError ListFolder(const std::string& folder, std::vector<std::string>* files,
                       std::vector<std::string>* folders) {
  std::wstring base;
  if (!RepositoryPath(folder, &base)) return ERROR_INVALID_NAME;
  if (base.back() != L'\\') base += L'\\';
  WIN32_FIND_DATAW entry;
  HANDLE first = FindFirstFileExW((base + L"*").c_str(), FindExInfoBasic, &entry,
                                  FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (first == INVALID_HANDLE_VALUE) {
    // A drive's root folder has no "." and "..": empty, it yields nothing.
    // Some SMB servers and user-mode file systems answer the first look
    // into any empty folder with "no more files".
    const SystemError error = LastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) return error;
    files->clear();
    folders->clear();
    return 0;
  }
  std::unique_ptr<void, FindCloser> find(first);
  std::vector<std::string> fileNames;
  std::vector<std::string> folderNames;
  do {
    const std::wstring_view name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    DWORD attributes = entry.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        TargetAttributes(base + entry.cFileName, &attributes) != 0) {
      attributes = 0;  // a dangling link is listed as a file
    }
    (IsFolder(attributes) ? folderNames : fileNames).push_back(Narrow(name));
  } while (FindNextFileW(find.get(), &entry) != 0);
  if (const SystemError error = LastError(); error != ERROR_NO_MORE_FILES) return error;
  std::sort(fileNames.begin(), fileNames.end());
  std::sort(folderNames.begin(), folderNames.end());
  *files = std::move(fileNames);
  *folders = std::move(folderNames);
  return 0;
}

}  // namespace platform
