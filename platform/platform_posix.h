// What the Linux port has beyond platform.h, for its own tests.
#ifndef QAMCVS_PLATFORM_PLATFORM_POSIX_H_
#define QAMCVS_PLATFORM_PLATFORM_POSIX_H_

#include <string>

#include "platform.h"

namespace platform {
namespace posix {

/// Opens (O_PATH) the folder path beneath the open folder root one
/// component at a time, as openat2 with RESOLVE_BENEATH resolves it: a link
/// is read and its target resolved in turn, ".." never climbs above root,
/// more than 40 links is ELOOP. An absolute target is followed only when it
/// names rootPath (the root's real path) or a place beneath it; any other
/// way out of root is EXDEV. 0 with the descriptor in *folder, or the errno
/// value.
SystemError OpenFolderBeneathByWalk(int root, const std::string& rootPath, const std::string& path,
                                    int* folder);

}  // namespace posix
}  // namespace platform

#endif  // QAMCVS_PLATFORM_PLATFORM_POSIX_H_
