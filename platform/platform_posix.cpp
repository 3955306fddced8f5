// The Linux port of the platform layer.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

#include "platform.h"

namespace platform {
namespace {

std::function<void(std::string_view)>& TraceSink() {
  static std::function<void(std::string_view)> sink;
  return sink;
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

void Trace(std::string_view text) {
  if (TraceSink()) {
    TraceSink()(text);
    return;
  }
  // The text is data, never the format.
  std::string line(text);
  syslog(LOG_USER | LOG_DEBUG, "%s", line.c_str());
}

void SetTraceSink(std::function<void(std::string_view)> sink) {
  TraceSink() = std::move(sink);
}

int LastSystemError() { return errno; }

std::string SystemErrorText(const std::string& context, int error) {
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

bool EntryExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

EntryKind KindOf(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return EntryKind::kMissing;
  if (S_ISDIR(info.st_mode)) return EntryKind::kFolder;
  if (S_ISREG(info.st_mode)) return EntryKind::kFile;
  return EntryKind::kOther;
}

bool MayAccess(const std::string& path, bool read, bool write) {
  int mode = 0;
  if (read) mode |= R_OK;
  if (write) mode |= W_OK;
  return access(path.c_str(), mode == 0 ? F_OK : mode) == 0;
}

bool ListFolder(const std::string& folder, std::vector<std::string>* files,
                std::vector<std::string>* folders) {
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
  if (!dir) return false;
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
  if (errno != 0) return false;
  std::sort(fileNames.begin(), fileNames.end());
  std::sort(folderNames.begin(), folderNames.end());
  *files = std::move(fileNames);
  *folders = std::move(folderNames);
  return true;
}

bool MakeFolder(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

TextSource::~TextSource() {
  if (owned_) close(static_cast<int>(handle_));
}

TextSource::TextSource(TextSource&& other) noexcept
    : handle_(other.handle_), owned_(other.owned_), knownSize_(other.knownSize_) {
  other.handle_ = -1;
  other.owned_ = false;
}

TextSource& TextSource::operator=(TextSource&& other) noexcept {
  if (this != &other) {
    if (owned_) close(static_cast<int>(handle_));
    handle_ = other.handle_;
    owned_ = other.owned_;
    knownSize_ = other.knownSize_;
    other.handle_ = -1;
    other.owned_ = false;
  }
  return *this;
}

long long TextSource::Read(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = read(static_cast<int>(handle_), buffer, size);
    if (got >= 0) return static_cast<long long>(got);
    if (errno != EINTR) return -1;
  }
}

namespace {

// A regular file's size, or -1.
long long RegularFileSize(int descriptor) {
  struct stat info;
  if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return static_cast<long long>(info.st_size);
}

}  // namespace

bool OpenTextFile(const std::string& path, TextSource* source) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return false;
  TextSource opened;
  opened.handle_ = descriptor;
  opened.owned_ = true;
  opened.knownSize_ = RegularFileSize(descriptor);
  *source = std::move(opened);
  return true;
}

TextSource StandardInputText() {
  TextSource input;
  input.handle_ = STDIN_FILENO;
  input.knownSize_ = RegularFileSize(STDIN_FILENO);
  return input;
}

}  // namespace platform
