// The Linux port of the platform layer.
#include <dirent.h>
#include <malloc.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/vfs.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

#include "platform.h"

namespace platform {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// Set once at start by FillClosedStandardDescriptors.
bool standardInputWasClosed = false;

}  // namespace

void SendToSystemTrace(const std::string& line) {
  // The text is data, never the format.
  syslog(LOG_USER | LOG_DEBUG, "%s", line.c_str());
}

SystemError LastSystemError() { return errno; }

void SetLastSystemError(SystemError error) { errno = error; }

std::string SystemErrorText(const std::string& context, SystemError error) {
  return context + ": " + std::strerror(error);
}

void FlushAllStreams() {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
}

int FormatWide(wchar_t* buffer, std::size_t units, const wchar_t* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  const int written = std::vswprintf(buffer, units, format, arguments);
  va_end(arguments);
  return written;
}

void UseBinaryStandardStreams() {}

Utf8Arguments::Utf8Arguments(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) texts_.emplace_back(argv[i]);
  for (std::string& text : texts_) pointers_.push_back(text.data());
  pointers_.push_back(nullptr);
}

std::string RepositoryRoot(const std::string& root) { return root; }

EntryKind KindOf(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return EntryKind::kMissing;
  if (S_ISDIR(info.st_mode)) return EntryKind::kFolder;
  if (S_ISREG(info.st_mode)) return EntryKind::kFile;
  return EntryKind::kOther;
}

SystemError CheckAccess(const std::string& path, bool read, bool write) {
  int mode = 0;
  if (read) mode |= R_OK;
  if (write) mode |= W_OK;
  return access(path.c_str(), mode == 0 ? F_OK : mode) == 0 ? 0 : errno;
}

SystemError ListFolder(const std::string& folder, std::vector<std::string>* files,
                       std::vector<std::string>* folders) {
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
  if (!dir) return errno;
  const int descriptor = dirfd(dir.get());
  std::vector<std::string> fileNames;
  std::vector<std::string> folderNames;
  errno = 0;
  while (struct dirent* entry = readdir(dir.get())) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    bool isFolder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      // The entry's own type says "link" (or nothing): ask for its target's.
      struct stat info;
      isFolder = fstatat(descriptor, name, &info, 0) == 0 && S_ISDIR(info.st_mode);
    }
    (isFolder ? folderNames : fileNames).emplace_back(name);
    errno = 0;
  }
  // readdir returns null both at the end and on failure; errno tells which.
  if (errno != 0) return errno;
  std::sort(fileNames.begin(), fileNames.end());
  std::sort(folderNames.begin(), folderNames.end());
  *files = std::move(fileNames);
  *folders = std::move(folderNames);
  return 0;
}

void TextSource::Close() {
  if (owned_) close(static_cast<int>(handle_));
  owned_ = false;
}

SystemError TextSource::ReadFromSystem(char* buffer, std::size_t size, std::size_t* got) {
  const int descriptor = static_cast<int>(handle_);
  for (;;) {
    const ssize_t count = read(descriptor, buffer, size);
    if (count >= 0) {
      *got = static_cast<std::size_t>(count);
      return 0;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
    // A non-blocking pipe, ours or one the host handed over, with nothing in
    // it yet: wait until input or the writer's end arrives.
    struct pollfd waiting = {descriptor, POLLIN, 0};
    if (poll(&waiting, 1, -1) < 0 && errno != EINTR) return errno;
  }
}

namespace {

// A regular file's size, or -1.
long long RegularFileSize(int descriptor) {
  struct stat info;
  if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return static_cast<long long>(info.st_size);
}

// True when the object behind info is a pipe, socket or terminal that this
// program writes to as its standard output or error.
bool IsOwnOutput(const struct stat& info) {
  if (!S_ISFIFO(info.st_mode) && !S_ISSOCK(info.st_mode) && !S_ISCHR(info.st_mode)) return false;
  for (int descriptor : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat own;
    if (fstat(descriptor, &own) != 0 || own.st_dev != info.st_dev || own.st_ino != info.st_ino) {
      continue;
    }
    // /dev/null may well be both, and reading it ends at once.
    if (S_ISCHR(info.st_mode) && !isatty(descriptor)) continue;
    return true;
  }
  return false;
}

// True for a FIFO that lives in a file system: opened without blocking, it
// may have no writer yet. A pipe (process substitution, /dev/stdin) has
// its writer from the start, or has ended.
bool IsNamedFifo(int descriptor) {
  // The magic number of the kernel's pipe file system (linux/magic.h).
  constexpr long kPipeFileSystem = 0x50495045;
  struct statfs fileSystem;
  return fstatfs(descriptor, &fileSystem) != 0 || fileSystem.f_type != kPipeFileSystem;
}

// Waits up to milliseconds for a program to open the FIFO for writing.
// False when none did.
bool WaitForWriter(int descriptor, int milliseconds, bool* hasPending, char* pending) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    // Without a writer poll waits; it returns once one writes or has come
    // and gone.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    struct pollfd waiting = {descriptor, POLLIN, 0};
    const int ready = poll(&waiting, 1, static_cast<int>(std::max<long long>(0, left.count())));
    if (ready > 0) return true;
    if (ready < 0 && errno == EINTR) continue;
    break;
  }
  // A writer that holds the FIFO open without writing makes a non-blocking
  // read fail with EAGAIN; without one, the read sees the end.
  const ssize_t got = read(descriptor, pending, 1);
  if (got == 1) *hasPending = true;
  return got == 1 || (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
}

}  // namespace

SystemError OpenTextFile(const std::string& path, int writerWaitMilliseconds, TextSource* source,
                         TextOpening* opening) {
  // Non-blocking: opening a FIFO for reading blocks until a writer comes.
  const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return errno;
  TextSource opened;
  opened.handle_ = descriptor;
  opened.owned_ = true;
  struct stat info;
  if (fstat(descriptor, &info) != 0) return errno;
  if (IsOwnOutput(info)) {
    *opening = TextOpening::kOwnOutput;
    return 0;
  }
  if (S_ISREG(info.st_mode)) opened.knownSize_ = static_cast<long long>(info.st_size);
  if (S_ISFIFO(info.st_mode) && IsNamedFifo(descriptor) &&
      !WaitForWriter(descriptor, writerWaitMilliseconds, &opened.hasPending_, &opened.pending_)) {
    *opening = TextOpening::kNoWriter;
    return 0;
  }
  *source = std::move(opened);
  *opening = TextOpening::kOpened;
  return 0;
}

TextOpening StandardInputText(TextSource* source) {
  if (standardInputWasClosed) return TextOpening::kClosed;
  TextSource input;
  input.handle_ = STDIN_FILENO;
  input.knownSize_ = RegularFileSize(STDIN_FILENO);
  *source = std::move(input);
  return TextOpening::kOpened;
}

void ReturnLargeBlocksWhenFreed() {
#ifdef M_MMAP_THRESHOLD
  // Setting the threshold turns off its growth; 128 KiB is glibc's default.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

void FillClosedStandardDescriptors() {
  for (int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
    // A host that closed standard input gave no text: reading the /dev/null
    // put in its place would answer "no revisions" as if it had.
    if (descriptor == STDIN_FILENO) standardInputWasClosed = true;
    // open takes the lowest free descriptor, this one. Standard output is
    // opened for reading only: the document written there fails, as it
    // would have on the closed descriptor, so the run does not count as
    // answered. Without /dev/null, the root folder holds the place.
    const int flags = descriptor == STDERR_FILENO ? O_WRONLY : O_RDONLY;
    int opened = open("/dev/null", flags);
    if (opened < 0) opened = open("/", O_RDONLY | O_DIRECTORY);
    if (opened >= 0 && opened != descriptor) {
      dup2(opened, descriptor);
      close(opened);
    }
  }
}

SystemError WriteToStandardOutput(std::string_view text, std::string_view end) {
  // What the C stream holds goes ahead of the document.
  errno = 0;
  if (std::fflush(stdout) != 0) return errno != 0 ? errno : EIO;
  // One writev for both parts: a pipe takes a short document whole, so that
  // documents of runs that share a pipe do not interleave.
  std::string_view parts[2] = {text, end};
  std::size_t first = 0;
  while (first < 2) {
    if (parts[first].empty()) {
      ++first;
      continue;
    }
    struct iovec pieces[2];
    int count = 0;
    for (std::size_t i = first; i < 2; ++i) {
      pieces[count].iov_base = const_cast<char*>(parts[i].data());
      pieces[count].iov_len = parts[i].size();
      ++count;
    }
    const ssize_t put = writev(STDOUT_FILENO, pieces, count);
    if (put > 0) {
      auto left = static_cast<std::size_t>(put);
      for (std::size_t i = first; i < 2 && left > 0; ++i) {
        const std::size_t taken = std::min(left, parts[i].size());
        parts[i].remove_prefix(taken);
        left -= taken;
      }
      continue;
    }
    if (put == 0) return EIO;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
    // A non-blocking pipe that is full: wait until the host reads.
    struct pollfd waiting = {STDOUT_FILENO, POLLOUT, 0};
    if (poll(&waiting, 1, -1) < 0 && errno != EINTR) return errno;
  }
  return 0;
}

}  // namespace platform
