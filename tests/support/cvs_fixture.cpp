#include "support/cvs_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace testing_support {

RunResult RunIn(const std::string& folder, const std::string& author,
                const std::vector<std::string>& argv, bool check) {
  // env -C sets the folder and LOGNAME without a shell in between.
  std::vector<std::string> command = {"env", "-C", folder, "LOGNAME=" + author, "TZ=UTC"};
  command.insert(command.end(), argv.begin(), argv.end());
  RunResult result = Run(command);
  if (check && result.status != 0) {
    std::string line;
    for (const std::string& arg : argv) line += arg + " ";
    ADD_FAILURE() << "failed (" << result.status << "): " << line << "in " << folder << "\n"
                  << result.out << result.err;
  }
  return result;
}

CvsFixture::CvsFixture() : root_(temp_ / "repo") {
  RunIn(temp_.path(), "alice", {"cvs", "-Q", "-d", root_, "init"});
}

void CvsFixture::Import(const std::string& module, const FileList& files,
                        const std::string& message, const std::string& author) {
  std::string source = Scratch("import-" + std::to_string(++serial_));
  std::filesystem::create_directories(source);
  for (const auto& [name, content] : files) {
    std::filesystem::create_directories(std::filesystem::path(source + "/" + name).parent_path());
    WriteFile(source + "/" + name, content);
  }
  RunIn(source, author, {"cvs", "-Q", "-d", root_, "import", "-m", message, module, "vendor", "start"});
}

std::string CvsFixture::Checkout(const std::string& module) {
  std::string folder = Scratch("wc-" + std::to_string(++serial_));
  std::filesystem::create_directories(folder);
  RunIn(folder, "alice", {"cvs", "-Q", "-d", root_, "checkout", module});
  return folder + "/" + module;
}

RunResult CvsFixture::Cvs(const std::string& workingCopy, const std::vector<std::string>& arguments,
                          const std::string& author, bool check) {
  std::vector<std::string> command = {"cvs", "-Q", "-d", root_};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return RunIn(workingCopy, author, command, check);
}

void CvsFixture::Commit(const std::string& workingCopy, const std::vector<std::string>& names,
                        const std::string& message, const std::string& author) {
  std::string messageFile = Scratch("message-" + std::to_string(++serial_));
  WriteFile(messageFile, message);
  std::vector<std::string> arguments = {"commit", "-F", messageFile};
  arguments.insert(arguments.end(), names.begin(), names.end());
  Cvs(workingCopy, arguments, author);
}

std::string CvsFixture::Log(const std::string& workingCopy,
                            const std::vector<std::string>& arguments) {
  std::vector<std::string> command = {"log"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return Cvs(workingCopy, command).out;
}

std::string CvsFixture::RLog(const std::string& inRepository,
                             const std::vector<std::string>& options) {
  std::vector<std::string> command = {"rlog"};
  command.insert(command.end(), options.begin(), options.end());
  command.push_back(inRepository);
  return Cvs(temp_.path(), command).out;
}

void CvsFixture::GiveToNobody() {
  if (RunningAsRoot()) RunIn("/", "alice", {"chown", "-R", "nobody:nogroup", root_});
}

std::string RcsLog(const std::string& archive, const std::vector<std::string>& options) {
  std::vector<std::string> command = {"rlog"};
  command.insert(command.end(), options.begin(), options.end());
  command.push_back(archive);
  return RunIn("/", "alice", command).out;
}

void RcsCheckIn(const std::string& workFile, const std::string& content,
                const std::string& revision, const std::string& author,
                const std::string& date, const std::string& message) {
  bool first = !std::filesystem::exists(workFile + ",v");
  WriteFile(workFile, content);
  std::string folder = std::filesystem::path(workFile).parent_path().string();
  std::vector<std::string> command = {"ci", "-q", "-f", "-w" + author, "-d" + date,
                                      "-m" + message};
  if (first) command.push_back("-t-description");
  if (!revision.empty()) command.push_back("-r" + revision);
  command.push_back(workFile);
  RunIn(folder, author, command);
  // Without strict locking later check-ins need no lock on their parent.
  if (first) RunIn(folder, author, {"rcs", "-q", "-U", workFile + ",v"});
}

}  // namespace testing_support
