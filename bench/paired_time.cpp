// Paired whole-process timing: runs two commands alternately, each with its
// output discarded, and prints the median wall time of each and the median of
// the per-pair ratios. Pairing keeps a machine whose load drifts from
// favouring either side: both runs of a pair see the same moment.
//
//   paired_time RUNS COMMAND... -- REFERENCE...
//
// prints "A_MS B_MS RATIO" (milliseconds; RATIO is A / B).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

double RunOnce(char* const* argv) {
  auto start = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child < 0) {
    std::perror("fork");
    std::exit(2);
  }
  if (child == 0) {
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
    }
    execv(argv[0], argv);
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
  }
  auto stop = std::chrono::steady_clock::now();
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
    std::fprintf(stderr, "paired_time: cannot run %s\n", argv[0]);
    std::exit(2);
  }
  return std::chrono::duration<double, std::milli>(stop - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int split = 0;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) split = i;
  }
  if (argc < 5 || split < 3 || split + 1 >= argc) {
    std::fprintf(stderr, "usage: paired_time RUNS COMMAND... -- REFERENCE...\n");
    return 2;
  }
  int runs = std::atoi(argv[1]);
  if (runs < 1) runs = 1;
  argv[split] = nullptr;
  char* const* first = argv + 2;
  char* const* second = argv + split + 1;
  for (int i = 0; i < 3; ++i) {  // warm the page cache
    RunOnce(first);
    RunOnce(second);
  }
  std::vector<double> a, b, ratio;
  for (int i = 0; i < runs; ++i) {
    double x, y;
    if (i % 2 == 0) {
      x = RunOnce(first);
      y = RunOnce(second);
    } else {
      y = RunOnce(second);
      x = RunOnce(first);
    }
    a.push_back(x);
    b.push_back(y);
    ratio.push_back(x / y);
  }
  std::printf("%.2f %.2f %.2f\n", Median(a), Median(b), Median(ratio));
  return 0;
}
