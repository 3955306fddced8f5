// Runs a libFuzzer target over every file under a folder, for builds
// without libFuzzer (g++): ctest replays each seed corpus this way, so the
// properties the targets check hold for every seed in every build.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argc > 0 ? argv[0] : "replay");
    return 2;
  }
  namespace fs = std::filesystem;
  std::error_code error;
  if (!fs::is_directory(argv[1], error)) {
    std::fprintf(stderr, "%s: not a folder\n", argv[1]);
    return 2;
  }
  // The targets may point stdout and stderr at /dev/null; keep the real ones.
  std::FILE* realOut = stdout;
  std::FILE* realErr = stderr;
  std::vector<fs::path> files;
  for (fs::recursive_directory_iterator it(argv[1], error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_regular_file(error)) files.push_back(it->path());
  }
  if (error) {
    std::fprintf(stderr, "%s: %s\n", argv[1], error.message().c_str());
    return 2;
  }
  for (const fs::path& file : files) {
    std::ifstream stream(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    if (!stream.good() && !stream.eof()) {
      std::fprintf(realErr, "%s: cannot be read\n", file.c_str());
      return 2;
    }
    std::fprintf(realErr, "running %s (%zu bytes)\n", file.c_str(), bytes.size());
    std::fflush(realErr);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::fprintf(realOut, "%zu inputs ran\n", files.size());
  return 0;
}
