// What a Windows host relies on, run against the program under test: the
// Linux build, or qamcvs.exe under Wine (QAMCVS_TEST_BINARY and
// QAMCVS_TEST_LAUNCHER, see scripts/windows.sh). Wine shows the Linux file
// system as drive Z:.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/cvs_fixture.h"
#include "support/test_support.h"

using testing_support::CvsFixture;
using testing_support::RunQamcvs;
using testing_support::RunResult;
using testing_support::Shell;

namespace {

// Neither name fits code page 1252, Windows' narrow argv on Western systems.
const char kJapanese[] = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
const char kGreek[] = "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC";
// U+3000 and U+FF02, which the ANSI command line turns into a blank and a
// quotation mark.
const char kBestFit[] = "a\xE3\x80\x80" "b\xEF\xBC\x82" "c";

std::string WindowsPath(const std::string& linuxPath) {
  return testing_support::WithBackSlashes("Z:" + linuxPath);
}

class BinaryWindowsHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    repo_.Import("proj", {{"src/main.c", "int main;\n"},
                          {std::string(kJapanese) + ".txt", "j\n"},
                          {std::string(kBestFit) + ".txt", "b\n"}});
  }
  CvsFixture repo_;
};

TEST_F(BinaryWindowsHostTest, NamesOutsideCodePage1252SurviveTheCommandLine) {
  RunResult created = RunQamcvs({"7", "PathToRep=" + repo_.root(), "PathInRep=proj",
                                 std::string("FolderName=") + kGreek});
  EXPECT_EQ(created.status, 1);
  EXPECT_NE(created.out.find("<Created>TRUE</Created>"), std::string::npos) << created.out;
  EXPECT_TRUE(std::filesystem::is_directory(repo_.Path(std::string("proj/") + kGreek)));

  RunResult exists = RunQamcvs(
      {"1", "PathToRep=" + repo_.root(), std::string("PathInRep=proj/") + kJapanese + ".txt"});
  EXPECT_NE(exists.out.find("<PathExists>TRUE</PathExists>"), std::string::npos) << exists.out;
  exists = RunQamcvs(
      {"1", "PathToRep=" + repo_.root(), std::string("PathInRep=proj/") + kBestFit + ".txt"});
  EXPECT_NE(exists.out.find("<PathExists>TRUE</PathExists>"), std::string::npos) << exists.out;

  RunResult children =
      RunQamcvs({"5", "PathToRep=" + repo_.root(), "PathInRep=proj", "Children_Type=DIRECTORY"});
  EXPECT_NE(children.out.find(std::string("<Child IsFolder=\"TRUE\">") + kGreek + "</Child>"),
            std::string::npos)
      << children.out;
  EXPECT_NE(children.out.find(std::string("<Child IsFolder=\"FALSE\">") + kJapanese +
                              ".txt</Child>"),
            std::string::npos)
      << children.out;
}

TEST_F(BinaryWindowsHostTest, DriveLetterRootWithBackSlashes) {
  if (!testing_support::TestingWindowsBuild()) GTEST_SKIP() << "a Windows build only";
  const std::string root = WindowsPath(repo_.root());
  // Every Windows program reads a trailing dot or blank off the root.
  for (const std::string& given : {root, root + "\\", root + "/", root + ".", root + " "}) {
    RunResult exists = RunQamcvs({"1", "PathToRep=" + given, "PathInRep=proj\\src\\main.c"});
    EXPECT_EQ(exists.out, std::string(testing_support::kXmlDeclaration) +
                              "<QAM_DOC><Output><RepositoryExists>TRUE</RepositoryExists>"
                              "<PathExists>TRUE</PathExists></Output></QAM_DOC>\n")
        << given;
  }
  RunResult created =
      RunQamcvs({"7", "PathToRep=" + root + "\\", "PathInRep=proj\\src\\", "FolderName=made"});
  EXPECT_NE(created.out.find("<Created>TRUE</Created>"), std::string::npos) << created.out;
  EXPECT_TRUE(std::filesystem::is_directory(repo_.Path("proj/src/made")));
  RunResult escape =
      RunQamcvs({"7", "PathToRep=" + root, "PathInRep=proj\\..\\..", "FolderName=out"});
  EXPECT_NE(escape.out.find("<Reason>The specified path in repository is not invalid</Reason>"),
            std::string::npos)
      << escape.out;
}

// A host that has met MAX_PATH gives the root in extended form, with either
// separator, on a drive or a share. Wine shows $WINEPREFIX/dosdevices/unc/
// as the UNC name space.
TEST_F(BinaryWindowsHostTest, ExtendedRootsOnADriveAndAShare) {
  if (!testing_support::TestingWindowsBuild()) GTEST_SKIP() << "a Windows build only";
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix == nullptr) GTEST_SKIP() << "needs WINEPREFIX, where Wine keeps its UNC shares";
  const std::string shares = std::string(prefix) + "/dosdevices/unc/localhost";
  std::filesystem::create_directories(shares);
  std::error_code ignored;
  std::filesystem::create_directory_symlink("/", shares + "/qamcvs-root", ignored);
  const std::string drive = WindowsPath(repo_.root());
  const std::string share =
      testing_support::WithBackSlashes("\\\\?\\UNC\\localhost\\qamcvs-root" + repo_.root());
  const std::vector<std::string> roots = {
      "\\\\?\\" + drive, "\\\\?\\" + drive + "\\", "//?/Z:" + repo_.root(), share,
      "//?/UNC/localhost/qamcvs-root" + repo_.root() + "/"};
  int made = 0;
  for (const std::string& root : roots) {
    const std::string folder = "made" + std::to_string(++made);
    const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
        {{"1", "PathToRep=" + root, "PathInRep=proj\\src\\main.c"},
         "<RepositoryExists>TRUE</RepositoryExists><PathExists>TRUE</PathExists>"},
        {{"5", "PathToRep=" + root, "PathInRep=proj", "Children_Type=DIRECTORY"},
         "<Child IsFolder=\"TRUE\">src</Child>"},
        {{"8", "PathToRep=" + root, "PathInRep=proj\\src"}, "<IsFolder>TRUE</IsFolder>"},
        {{"7", "PathToRep=" + root, "PathInRep=proj\\src", "FolderName=" + folder},
         "<Created>TRUE</Created>"},
    };
    for (const auto& [args, element] : runs) {
      RunResult answer = RunQamcvs(args);
      EXPECT_NE(answer.out.find(element), std::string::npos) << root << " " << args[0] << "\n"
                                                              << answer.out;
    }
    EXPECT_TRUE(std::filesystem::is_directory(repo_.Path("proj/src/" + folder))) << root;
  }
}

// Standard output is binary on Windows: the same bytes as the Linux build,
// no CR before a line feed, for every command and for text given with CR LF.
TEST_F(BinaryWindowsHostTest, DocumentsAreTheLinuxBuildsBytes) {
  if (!testing_support::TestingWindowsBuild()) GTEST_SKIP() << "a Windows build only";
  const std::string log =
      "\nRCS file: x,v\nhead: 1.1\nlocks: strict\n\talice: 1.1\n----------------------------\n"
      "revision 1.1\ndate: 2024/01/02 03:04:05;  author: alice;  state: Exp;\n"
      "two\nlines\n=============================================================================\n";
  struct Case {
    std::vector<std::string> args;
    std::string input;
  };
  const std::vector<Case> cases = {
      {{"4", "OutputFile=-"}, log},
      {{"4", "OutputFile=-"}, testing_support::WithCrLf(log)},
      {{"3", "OutputFile=-"}, testing_support::WithCrLf(log)},
      {{"9", "OutputFile=-"}, "Files a and b differ\r\n"},
      {{"5", "PathToRep=" + repo_.root(), "PathInRep=proj", "Children_Type=DIRECTORY"}, ""},
      {{"abc"}, ""},
      // A folder read as the tool's text: "Is a directory", raised where Linux raises it.
      {{"4", "OutputFile=" + repo_.Path("proj")}, ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> native{QAMCVS_BINARY};
    native.insert(native.end(), c.args.begin(), c.args.end());
    RunResult expected = testing_support::Run(native, c.input);
    RunResult windows = RunQamcvs(c.args, c.input);
    EXPECT_EQ(windows.status, expected.status) << c.args[0];
    EXPECT_EQ(windows.out, expected.out) << c.args[0];
  }
  // Standard output a file.
  const std::string into = repo_.Scratch("document");
  const std::string arguments = " 9 OutputFile=- > " + into + " <<< 'Files a and b differ'";
  Shell(std::string("'") + QAMCVS_BINARY + "'" + arguments, false);
  const std::string expected = testing_support::ReadFile(into);
  Shell(testing_support::QamcvsShellCommand() + arguments, false);
  EXPECT_EQ(testing_support::ReadFile(into), expected);
  EXPECT_NE(expected.find("<IsDifferent>TRUE</IsDifferent>"), std::string::npos) << expected;
}

// Windows takes names in the "\\?\" form literally: a trailing dot or blank
// is part of the name, a device name is only a name; and it refuses to make
// what its own programs could not open.
TEST_F(BinaryWindowsHostTest, NamesAreTakenAsWrittenAndWindowsOnlyNamesAreNotMade) {
  if (!testing_support::TestingWindowsBuild()) GTEST_SKIP() << "a Windows build only";
  std::filesystem::create_directory(repo_.Path("proj/dotted."));
  struct Query {
    std::string id, pathInRep, element;
  };
  const std::vector<Query> queries = {
      {"1", "proj/src.", "<PathExists>FALSE</PathExists>"},
      {"8", "proj/src ", "<IsFolder>FALSE</IsFolder>"},
      {"8", "proj/dotted.", "<IsFolder>TRUE</IsFolder>"},
      {"1", "proj/CON", "<PathExists>FALSE</PathExists>"},
      {"8", "proj/NUL", "<IsFolder>FALSE</IsFolder>"},
      {"8", "proj/src::$INDEX_ALLOCATION", "<IsFolder>FALSE</IsFolder>"},
      {"5", "proj/dotted.", "<Success>TRUE</Success>"},
  };
  for (const Query& q : queries) {
    RunResult answer = RunQamcvs({q.id, "PathToRep=" + repo_.root(), "PathInRep=" + q.pathInRep});
    EXPECT_NE(answer.out.find(q.element), std::string::npos) << q.pathInRep << "\n" << answer.out;
  }
  const auto entries = [this] {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(repo_.Path("proj"))) {
      names.push_back(entry.path().string());
    }
    return names.size();
  };
  const std::size_t before = entries();
  for (const char* name : {"CON", "nul", "AUX.txt", "COM1", "LPT1.c", "a:b", "a*b", "new.",
                           "new ", "src/con.c/x"}) {
    RunResult created =
        RunQamcvs({"7", "PathToRep=" + repo_.root(), "PathInRep=proj", std::string("FolderName=") + name});
    EXPECT_NE(created.out.find(std::string("<Created>FALSE</Created><Reason>") +
                               testing_support::kInvalidPathReason),
              std::string::npos)
        << name << "\n" << created.out;
  }
  EXPECT_EQ(entries(), before);
}

// Wine does not enforce MAX_PATH, so this shows only that the extended form
// reaches every file call; the conversion's own tests and the manifest carry
// the rest.
TEST_F(BinaryWindowsHostTest, RepositoryPathsLongerThanMaxPath) {
  if (!testing_support::TestingWindowsBuild()) GTEST_SKIP() << "a Windows build only";
  const std::string deep = "proj/" + std::string(100, 'a') + "/" + std::string(100, 'b') + "/" +
                           std::string(100, 'c');
  std::filesystem::create_directories(repo_.Path(deep + "/sub"));
  testing_support::WriteFile(repo_.Path(deep + "/file.c,v"), "x");
  const std::string root = WindowsPath(repo_.Path(deep));
  ASSERT_GT(root.size(), 300u);
  const std::string log =
      "RCS file: x,v\nhead: 1.1\nlocks: strict\n\tbob: 1.1\naccess list:\n"
      "----------------------------\nrevision 1.1\n"
      "date: 2024/01/02 03:04:05;  author: bob;  state: Exp;\nlong\n"
      "=============================================================================\n";
  testing_support::WriteFile(repo_.Path(deep + "/tool.log"), log);
  const std::vector<std::vector<std::string>> runs = {
      {"1", "PathToRep=" + root, "PathInRep=file.c"},
      {"5", "PathToRep=" + root, "Children_Type=DIRECTORY"},
      {"7", "PathToRep=" + root, "PathInRep=sub", "FolderName=made"},
      {"8", "PathToRep=" + root, "PathInRep=sub"},
      {"3", "OutputFile=" + root + "\\tool.log"},
      {"4", "OutputFile=" + root + "\\tool.log"},
  };
  const std::vector<std::string> expected = {
      "<PathExists>TRUE</PathExists>",
      "<Child IsFolder=\"TRUE\">sub</Child><Child IsFolder=\"FALSE\">file.c</Child>",
      "<Created>TRUE</Created>",
      "<IsFolder>TRUE</IsFolder>",
      "<CheckedOutBy>bob</CheckedOutBy>",
      "<Comment>long</Comment>",
  };
  for (std::size_t i = 0; i < runs.size(); ++i) {
    RunResult result = RunQamcvs(runs[i]);
    EXPECT_EQ(result.status, 1) << runs[i][0] << "\n" << result.out;
    EXPECT_NE(result.out.find(expected[i]), std::string::npos) << runs[i][0] << "\n" << result.out;
  }
  EXPECT_TRUE(std::filesystem::is_directory(repo_.Path(deep + "/sub/made")));
  testing_support::WriteFile(repo_.Path(deep + "/diff.txt"), "Files a and b are identical\n");
  RunResult identical = RunQamcvs({"9", "OutputFile=" + root + "\\diff.txt"});
  EXPECT_NE(identical.out.find("<IsDifferent>FALSE</IsDifferent>"), std::string::npos)
      << identical.out;
}

// A console shows bytes through its code page; the document goes to it as
// characters. script(1) gives Wine a terminal, which Wine makes a console.
TEST_F(BinaryWindowsHostTest, TheConsoleShowsTheDocumentsCharacters) {
  if (!testing_support::TestingWindowsBuild()) GTEST_SKIP() << "a Windows build only";
  if (!testing_support::HaveProgram("script")) GTEST_SKIP() << "script(1) is needed";
  testing_support::WriteFile(repo_.Scratch("cafe.log"),
                             "RCS file: x,v\nhead: 1.1\n----------------------------\n"
                             "revision 1.1\ndate: 2024/01/02 03:04:05;  author: bob;  state: Exp;\n"
                             "caf\xC3\xA9\n===================================================="
                             "=========================\n");
  // What the terminal shows, without the line breaks of its 80 columns.
  const auto onConsole = [](const std::string& arguments) {
    RunResult shown = testing_support::Run(
        {"script", "-qec", testing_support::QamcvsShellCommand() + " " + arguments, "/dev/null"},
        "", 60);
    shown.out.erase(std::remove_if(shown.out.begin(), shown.out.end(),
                                   [](char c) { return c == '\r' || c == '\n'; }),
                    shown.out.end());
    return shown;
  };
  RunResult shown = onConsole("4 " + testing_support::ShellQuote("OutputFile=" +
                                                                 repo_.Scratch("cafe.log")));
  EXPECT_NE(shown.out.find("<Comment>caf\xC3\xA9</Comment>"), std::string::npos) << shown.out;
  // The console is the terminal of standard output: reading it would never end.
  RunResult own = onConsole("4 'OutputFile=\\\\.\\CONIN$'");
  EXPECT_NE(own.out.find("own standard output or error"), std::string::npos) << own.out;
}

TEST_F(BinaryWindowsHostTest, TraceReachesOutputDebugStringA) {
  if (!testing_support::TestingWindowsBuild()) GTEST_SKIP() << "a Windows build only";
  // Wine's debugstr channel prints what OutputDebugStringA is given.
  RunResult traced = testing_support::Shell(
      "WINEDEBUG=+debugstr " + testing_support::QamcvsShellCommand() + " 1 " +
      testing_support::ShellQuote("PathToRep=" + repo_.root()) + " PathInRep=proj/src",
      false);
  EXPECT_EQ(traced.status, 1);
  EXPECT_NE(traced.out.find("<PathExists>TRUE</PathExists>"), std::string::npos) << traced.out;
  EXPECT_NE(traced.err.find("OutputDebugStringA \"" + repo_.root() + "/proj/src\""),
            std::string::npos)
      << traced.err;
}

}  // namespace
