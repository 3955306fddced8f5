// What the benchmarks share: a temporary file holding given bytes, and the
// long log that rlog prints for scripts/make_long_archive.sh's archive.
#ifndef QAMCVS_BENCH_BENCH_SUPPORT_H_
#define QAMCVS_BENCH_BENCH_SUPPORT_H_

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace bench_support {

/// A file under /tmp holding bytes, removed on destruction; aborts when it
/// cannot be written.
class TempFile {
 public:
  explicit TempFile(const std::string& bytes) {
    char name[] = "/tmp/qamcvs-bench-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) std::abort();
    path_ = name;
    if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::abort();
    close(fd);
  }
  ~TempFile() { unlink(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

/// What rlog prints for the archive of count revisions that
/// scripts/make_long_archive.sh writes (the log scripts/bench.sh measures);
/// empty when the script or rlog fails.
inline std::string LongRlogLog(int count) {
  const std::string command =
      "set -e; work=$(mktemp -d); trap 'rm -rf \"$work\"' EXIT; cd \"$work\"; '" QAMCVS_SOURCE_DIR
      "/scripts/make_long_archive.sh' long.c,v " +
      std::to_string(count) + "; rlog long.c,v";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return std::string();
  std::string log;
  char buffer[65536];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    log.append(buffer, got);
  }
  return pclose(pipe) == 0 ? log : std::string();
}

}  // namespace bench_support

#endif  // QAMCVS_BENCH_BENCH_SUPPORT_H_
