#include "support/toolkit.h"

#ifdef _WIN32
#include <process.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace testing_support {
namespace {

bool IsHexDigits(const std::string& text) {
  return text.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
}

#ifndef _WIN32
// Folders made unreadable or read-only by a test must be opened up before
// what is in them can be removed: the folder first, then what it holds.
void OpenUp(const std::filesystem::path& folder) {
  std::error_code ignored;
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  for (std::filesystem::directory_iterator entry(folder, ignored), end; entry != end;
       entry.increment(ignored)) {
    if (entry->is_directory(ignored) && !entry->is_symlink(ignored)) OpenUp(entry->path());
  }
}
#endif

}  // namespace

std::string FailureDocumentFault(const ParsedXml& parsed) {
  if (!parsed.wellFormed) return "not well-formed: " + parsed.error;
  if (parsed.rootName != "QAM_DOC") return "the root is " + parsed.rootName + ", not QAM_DOC";
  if (parsed.Count("Error") != 1) return std::to_string(parsed.Count("Error")) + " Error elements";
  for (const char* part : {"Code", "Message", "Source", "Function"}) {
    if (parsed.Count(part) != 1) {
      return std::to_string(parsed.Count(part)) + " " + part + " elements, not one";
    }
  }
  const std::string code = parsed.TextsOf("Code")[0];
  if (code.size() != 10 || code.rfind("0x", 0) != 0 || !IsHexDigits(code.substr(2))) {
    return "the code " + code + " is not 0x and eight hex digits";
  }
  if (parsed.TextsOf("Message")[0].empty()) return "the message is empty";
  return std::string();
}

#ifdef _WIN32
TempDir::TempDir() {
  // Under the system's temporary folder, named by process and a counter.
  static int made = 0;
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (;;) {
    std::filesystem::path candidate =
        base / ("qamcvs-test-" + std::to_string(_getpid()) + "-" + std::to_string(++made));
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) {
      path_ = candidate.generic_u8string();
      return;
    }
    if (error) {
      path_ = base.generic_u8string();
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (path_ != std::filesystem::temp_directory_path().generic_u8string()) {
    std::filesystem::remove_all(std::filesystem::u8path(path_), ignored);
  }
}
#else
TempDir::TempDir() {
  char pattern[] = "/tmp/qamcvs-test-XXXXXX";
  const char* made = mkdtemp(pattern);
  path_ = made != nullptr ? made : "/tmp";
  // Permission tests run parts as "nobody", who must be able to reach the folder.
  chmod(path_.c_str(), 0755);
}

TempDir::~TempDir() {
  if (path_ == "/tmp") return;
  OpenUp(path_);
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}
#endif  // _WIN32

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << bytes;
  file.close();
  return !file.fail();
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

QamInputParams ToolTextParams(const std::string& outputFile, const std::string& encoding) {
  QamInputParams params;
  params.SetValue("OutputFile", I18NString::FromUtf8(outputFile));
  if (!encoding.empty()) params.SetValue("Encoding", I18NString::FromUtf8(encoding));
  return params;
}

std::string LongRlogLog(int count, const std::string& folder) {
  namespace fs = std::filesystem;
  const fs::path script = QAMCVS_SOURCE_DIR "/scripts/make_long_archive.sh";
  const fs::path log = fs::path(folder) / ("rlog-" + std::to_string(count) + "-revisions.log");
  std::error_code error;
  if (fs::exists(log, error) &&
      fs::last_write_time(log, error) >= fs::last_write_time(script, error)) {
    return log.string();
  }
  // rlog takes more than a minute for 200,000 revisions: the log is written
  // beside its final name and moved there only when whole.
  const std::string part = log.string() + ".part";
  const std::string command =
      "set -e; work=$(mktemp -d); trap 'rm -rf \"$work\"' EXIT; cd \"$work\"; '" +
      script.string() + "' long.c,v " + std::to_string(count) + "; rlog long.c,v > '" + part +
      "'; mv '" + part + "' '" + log.string() + "'";
  return std::system(command.c_str()) == 0 ? log.string() : std::string();
}

}  // namespace testing_support
