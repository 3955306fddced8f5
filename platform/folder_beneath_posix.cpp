// Making a folder beneath a root on Linux: every link on the way resolved
// without leaving the root, with no window between the check and the act.
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"
#include "platform_posix.h"

namespace platform {
namespace {

// A descriptor closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int descriptor = -1) : descriptor_(descriptor) {}
  ~Descriptor() {
    if (descriptor_ >= 0) close(descriptor_);
  }
  Descriptor(Descriptor&& other) noexcept : descriptor_(other.Release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      if (descriptor_ >= 0) close(descriptor_);
      descriptor_ = other.Release();
    }
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return descriptor_; }
  int Release() {
    const int descriptor = descriptor_;
    descriptor_ = -1;
    return descriptor;
  }

 private:
  int descriptor_;
};

// The kernel's own bound on the links one lookup may follow.
constexpr int kMaxLinks = 40;

// The components of a relative path, without empty ones and ".".
std::deque<std::string> Components(std::string_view path) {
  std::deque<std::string> components;
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string_view component = path.substr(0, slash);
    if (!component.empty() && component != ".") components.emplace_back(component);
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return components;
}

// The target of the link name in folder: 0, or the errno value.
SystemError ReadLinkAt(int folder, const std::string& name, std::string* target) {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t length = readlinkat(folder, name.c_str(), buffer.data(), buffer.size());
    if (length < 0) return errno;
    if (static_cast<std::size_t>(length) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(length));
      *target = std::move(buffer);
      return 0;
    }
    if (buffer.size() >= PATH_MAX) return ENAMETOOLONG;
    buffer.resize(2 * buffer.size());
  }
}

// When the absolute path target names the root (whose real path is
// rootPath) or a place beneath it, *rest becomes the part below the root.
bool AbsoluteTargetBeneath(const std::string& target, const std::string& rootPath,
                           std::deque<std::string>* rest) {
  std::deque<std::string> targetParts = Components(target);
  const std::deque<std::string> rootParts = Components(rootPath);
  if (targetParts.size() < rootParts.size()) return false;
  for (std::size_t i = 0; i < rootParts.size(); ++i) {
    if (targetParts[i] != rootParts[i]) return false;
  }
  targetParts.erase(targetParts.begin(),
                    targetParts.begin() + static_cast<std::ptrdiff_t>(rootParts.size()));
  *rest = std::move(targetParts);
  return true;
}

}  // namespace

namespace posix {

SystemError OpenFolderBeneathByWalk(int root, const std::string& rootPath, const std::string& path,
                                    int* folder) {
  if (path.size() >= PATH_MAX) return ENAMETOOLONG;
  // The folders from the root down to where the walk stands: ".." steps back
  // along them and never above the first.
  std::vector<Descriptor> folders;
  folders.emplace_back(fcntl(root, F_DUPFD_CLOEXEC, 0));
  if (folders.back().get() < 0) return errno;
  std::deque<std::string> pending = Components(path);
  int links = 0;
  while (!pending.empty()) {
    const std::string name = std::move(pending.front());
    pending.pop_front();
    if (name == "..") {
      if (folders.size() == 1) return EXDEV;
      folders.pop_back();
      continue;
    }
    const int at = folders.back().get();
    struct stat info;
    if (fstatat(at, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    if (S_ISLNK(info.st_mode)) {
      if (++links > kMaxLinks) return ELOOP;
      std::string target;
      if (const SystemError error = ReadLinkAt(at, name, &target); error != 0) return error;
      std::deque<std::string> resolved = Components(target);
      if (!target.empty() && target[0] == '/') {
        // An absolute target is followed only when it names a place beneath
        // the root; the walk then starts again from the root.
        if (rootPath.empty() || !AbsoluteTargetBeneath(target, rootPath, &resolved)) {
          return EXDEV;
        }
        folders.resize(1);
      }
      pending.insert(pending.begin(), resolved.begin(), resolved.end());
      continue;
    }
    // O_NOFOLLOW: a link put in its place since the look above is refused,
    // not followed.
    Descriptor next(openat(at, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (next.get() < 0) return errno;
    folders.push_back(std::move(next));
  }
  *folder = folders.back().Release();
  return 0;
}

}  // namespace posix

namespace {

// Opens the folder at path beneath root into *folder, every link on the way
// resolved without leaving root: 0, or the errno value. The kernel's openat2
// does it in one call; the walk does the same where openat2 is missing
// (ENOSYS), where it refuses an absolute link that the walk can still follow
// inside the root (EXDEV), or where a rename raced with the lookup (EAGAIN).
SystemError OpenFolderBeneath(int root, const std::string& rootPath, const std::string& path,
                              Descriptor* folder) {
  if (Components(path).empty()) {
    const int copy = fcntl(root, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return errno;
    *folder = Descriptor(copy);
    return 0;
  }
  struct open_how how;
  std::memset(&how, 0, sizeof how);
  how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  const long descriptor = syscall(SYS_openat2, root, path.c_str(), &how, sizeof how);
  if (descriptor >= 0) {
    *folder = Descriptor(static_cast<int>(descriptor));
    return 0;
  }
  if (errno != ENOSYS && errno != EXDEV && errno != EAGAIN) return errno;
  int walked = -1;
  const SystemError error = posix::OpenFolderBeneathByWalk(root, rootPath, path, &walked);
  if (error == 0) *folder = Descriptor(walked);
  return error;
}

// Splits path into the folder that holds its last component and that
// component, which may be "." (the folder itself, which exists). False when
// path has no component.
bool SplitLast(std::string_view path, std::string* parent, std::string* name) {
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  if (path.empty()) return false;
  const std::size_t slash = path.rfind('/');
  *name = std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
  *parent = std::string(slash == std::string_view::npos ? std::string_view() : path.substr(0, slash));
  return true;
}

// Opens the root as given (it may be a link) and the parent of path beneath
// it into *parent: 0, or the errno value (EEXIST when path names the root
// itself, which exists).
SystemError OpenParentBeneath(const std::string& root, const std::string& path, Descriptor* parent,
                              std::string* name) {
  std::string parentPath;
  if (!SplitLast(path, &parentPath, name)) return EEXIST;
  Descriptor rootFolder(open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (rootFolder.get() < 0) return errno;
  // The real path of the root, for links that name it absolutely.
  std::string rootPath;
  if (char* real = realpath(root.c_str(), nullptr)) {
    rootPath = real;
    std::free(real);
  }
  return OpenFolderBeneath(rootFolder.get(), rootPath, parentPath, parent);
}

}  // namespace

bool EntryExistsBeneath(const std::string& root, const std::string& path) {
  std::string name;
  Descriptor parent;
  const SystemError error = OpenParentBeneath(root, path, &parent, &name);
  if (error != 0) return error == EEXIST;
  struct stat info;
  return fstatat(parent.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

SystemError MakeFolderBeneath(const std::string& root, const std::string& path) {
  std::string name;
  Descriptor parent;
  if (const SystemError error = OpenParentBeneath(root, path, &parent, &name); error != 0) {
    return error;
  }
  return mkdirat(parent.get(), name.c_str(), 0777) == 0 ? 0 : errno;
}

bool ErrorMeansExists(SystemError error) { return error == EEXIST; }

}  // namespace platform
