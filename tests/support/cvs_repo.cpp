#include "support/cvs_repo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace testing_support {

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

CvsRepo::CvsRepo() : root_(temp_ / "repo") {
  Shell("cvs -Q -d " + ShellQuote(root_) + " init");
}

RunResult CvsRepo::Cvs(const std::string& folder, const std::string& arguments) {
  // CVS takes the author from LOGNAME when it runs as root without a login.
  return Shell("cd " + ShellQuote(folder) + " && LOGNAME=alice cvs -Q -d " + ShellQuote(root_) +
               " " + arguments);
}

void CvsRepo::Import(const std::string& module, const FileList& files) {
  const std::string source = temp_ / ("import-" + module);
  for (const auto& [name, content] : files) {
    const std::string path = source + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteFile(path, content);
  }
  std::filesystem::create_directories(source);
  Cvs(source, "import -m " + ShellQuote("import " + module) + " " + ShellQuote(module) +
                  " vendor start");
}

std::string CvsRepo::Checkout(const std::string& module) {
  const std::string parent = temp_ / ("wc" + std::to_string(++checkouts_));
  std::filesystem::create_directories(parent);
  Cvs(parent, "checkout " + ShellQuote(module));
  return parent + "/" + module;
}

void CvsRepo::AddAndCommit(const std::string& workingCopy, const FileList& files) {
  std::string adds;
  std::set<std::string> newFolders;
  for (const auto& [name, content] : files) {
    // New folders are added one level at a time, parents first.
    std::filesystem::path relative(name);
    std::filesystem::path folder;
    for (auto part = relative.begin(); std::next(part) != relative.end(); ++part) {
      folder /= *part;
      const std::string folderPath = workingCopy + "/" + folder.string();
      if (!std::filesystem::exists(folderPath + "/CVS") && newFolders.insert(folder).second) {
        std::filesystem::create_directories(folderPath);
        adds += " " + ShellQuote(folder.string());
      }
    }
    WriteFile(workingCopy + "/" + name, content);
  }
  if (!adds.empty()) Cvs(workingCopy, "add" + adds);
  std::string names;
  for (const auto& file : files) names += " " + ShellQuote(file.first);
  Cvs(workingCopy, "add" + names);
  Cvs(workingCopy, "commit -m " + ShellQuote("add files") + names);
}

void CvsRepo::RemoveAndCommit(const std::string& workingCopy,
                              const std::vector<std::string>& files) {
  std::string names;
  for (const std::string& name : files) names += " " + ShellQuote(name);
  Cvs(workingCopy, "remove -f" + names);
  Cvs(workingCopy, "commit -m " + ShellQuote("remove files") + names);
}

void CvsRepo::GiveToNobody() {
  if (RunningAsRoot()) Shell("chown -R nobody:nogroup " + ShellQuote(root_));
}

std::string UnprivilegedUnavailable() {
  const std::string binary = QamcvsBinary();
  if (!QamcvsLauncher().empty()) {
    return "the program runs through " + QamcvsLauncher() + ", whose set-up belongs to root";
  }
  if (!RunningAsRoot()) return std::string();
  RunResult probe = Shell(AsNobodyPrefix() + "test -x " + ShellQuote(binary), false);
  if (probe.status != 0) {
    return "user nobody cannot run " + binary + " (" + probe.err +
           "); permission cases need an unprivileged user, since root may read and write "
           "everything";
  }
  return std::string();
}

RunResult RunQamcvsUnprivileged(const std::vector<std::string>& args) {
  std::string command = AsNobodyPrefix() + ShellQuote(QamcvsBinary());
  for (const std::string& arg : args) command += " " + ShellQuote(arg);
  return Run({"bash", "-c", command});
}

}  // namespace testing_support
