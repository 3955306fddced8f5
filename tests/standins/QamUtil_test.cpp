// The utility library against the real file system: trimming and path
// helpers, existence masks with the caller's real rights, folder reading,
// folder creation and the raising convention.
#include "QamUtil.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform_posix.h"
#include "support/test_support.h"

namespace {

using testing_support::AsNobody;
using testing_support::kCouldNotBecomeNobody;
using testing_support::TempDir;
using testing_support::WriteFile;

std::string U8(const I18NString& text) { return std::string(text.utf8()); }

std::vector<std::string> U8(const std::vector<I18NString>& texts) {
  std::vector<std::string> out;
  for (const I18NString& text : texts) out.push_back(U8(text));
  return out;
}

TEST(QamSystemUtilsTest, InPlaceHelpers) {
  struct Case {
    void (*helper)(I18NString&);
    const char* input;
    const char* expected;
  } cases[] = {
      {QamSystemUtils::EnsureNoTrailingSlash, "/", "/"},
      {QamSystemUtils::EnsureNoTrailingSlash, "//", "/"},
      {QamSystemUtils::EnsureNoTrailingSlash, "\\", "\\"},
      {QamSystemUtils::EnsureNoTrailingSlash, "", ""},
      {QamSystemUtils::EnsureNoTrailingSlash, "/srv/cvs/", "/srv/cvs"},
      {QamSystemUtils::EnsureNoTrailingSlash, "/srv/cvs//\\", "/srv/cvs"},
      {QamSystemUtils::EnsureNoTrailingSlash, "a/b", "a/b"},
      {QamSystemUtils::EnsureNoTrailingSlash, "\xE6\x97\xA5/", "\xE6\x97\xA5"},
      // Windows roots keep what names them: "C:" alone is another folder.
      {QamSystemUtils::EnsureNoTrailingSlash, "C:\\", "C:\\"},
      {QamSystemUtils::EnsureNoTrailingSlash, "c:/\\", "c:/"},
      {QamSystemUtils::EnsureNoTrailingSlash, "C:\\cvsroot\\", "C:\\cvsroot"},
      {QamSystemUtils::EnsureNoTrailingSlash, "C:", "C:"},
      {QamSystemUtils::EnsureNoTrailingSlash, "\\\\server\\share\\cvsroot\\",
       "\\\\server\\share\\cvsroot"},
      {QamSystemUtils::EnsureNoTrailingSlash, "\\\\server\\share\\", "\\\\server\\share"},
      {QamSystemUtils::EnsureNoTrailingSlash, "//server/share/cvsroot/", "//server/share/cvsroot"},
      // So do extended roots, whichever separator their prefix is written with.
      {QamSystemUtils::EnsureNoTrailingSlash, "\\\\?\\C:\\", "\\\\?\\C:\\"},
      {QamSystemUtils::EnsureNoTrailingSlash, "//?/c:///", "//?/c:/"},
      {QamSystemUtils::EnsureNoTrailingSlash, "\\\\?\\UNC\\server\\share\\",
       "\\\\?\\UNC\\server\\share\\"},
      {QamSystemUtils::EnsureNoTrailingSlash, "//?/unc/server/share/cvs/", "//?/unc/server/share/cvs"},
      {QamSystemUtils::TrimLeft, " \t\r\n\v\fx y ", "x y "},
      {QamSystemUtils::TrimLeft, "   ", ""},
      {QamSystemUtils::TrimLeft, "\xC3\xA9 ", "\xC3\xA9 "},
      {QamSystemUtils::TrimRight, " x y \t\r\n\v\f", " x y"},
      {QamSystemUtils::TrimRight, "\n\n", ""},
      {QamSystemUtils::TrimRight, " \xF0\x9F\x98\x80 ", " \xF0\x9F\x98\x80"},
      {QamSystemUtils::TrimRight, "", ""},
      {QamSystemUtils::ReplaceBackSlashWithForwardSlash, "a\\b\\\xC3\xA9\\", "a/b/\xC3\xA9/"},
      {QamSystemUtils::ReplaceBackSlashWithForwardSlash, "a/b", "a/b"},
  };
  for (const Case& c : cases) {
    I18NString text = I18NString::FromUtf8(c.input);
    c.helper(text);
    EXPECT_EQ(U8(text), c.expected) << testing::PrintToString(std::string(c.input));
    EXPECT_EQ(text.length(), I18NString::FromUtf8(c.expected).length());
  }
  // A slice of a larger text keeps to its own bounds.
  I18NString slice = I18NString("a/b/ c").substring(0, 4);
  QamSystemUtils::EnsureNoTrailingSlash(slice);
  EXPECT_EQ(U8(slice), "a/b");
}

class QamDvDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(temp_ / "file", "x");
    ASSERT_EQ(mkdir((temp_ / "folder").c_str(), 0755), 0);
    ASSERT_EQ(symlink("folder", (temp_ / "link-to-folder").c_str()), 0);
    ASSERT_EQ(symlink("file", (temp_ / "link-to-file").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (temp_ / "dangling").c_str()), 0);
  }
  I18NString Path(const std::string& name) { return I18NString((temp_ / name).c_str()); }

  TempDir temp_;
};

TEST_F(QamDvDirTest, ExistsMasksAgainstRealFiles) {
  struct Case {
    const char* name;
    unsigned short mask;
    int expected;
  } cases[] = {
      {"file", 0, 1},
      {"file", QamDvDir::kFile, 1},
      {"file", QamDvDir::kFolder, 0},
      {"file", QamDvDir::kFile | QamDvDir::kReadable | QamDvDir::kWritable, 1},
      {"folder", QamDvDir::kFolder | QamDvDir::kReadable | QamDvDir::kWritable, 1},
      {"folder", QamDvDir::kFile, 0},
      {"link-to-folder", QamDvDir::kFolder, 1},
      {"link-to-file", QamDvDir::kFile, 1},
      {"dangling", 0, 0},
      {"missing", 0, 0},
      {"missing", QamDvDir::kReadable, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(QamDvDir::exists(Path(c.name), c.mask) != 0, c.expected != 0)
        << c.name << " mask " << std::hex << c.mask;
  }
  const I18NString root(temp_.path().c_str());
  EXPECT_NE(QamDvDir::ExistsBeneath(root, I18NString("dangling")), 0) << "a dangling link is an entry";
  EXPECT_NE(QamDvDir::ExistsBeneath(root, I18NString("folder")), 0);
  EXPECT_EQ(QamDvDir::ExistsBeneath(root, I18NString("missing")), 0);
  EXPECT_EQ(QamDvDir::exists(I18NString(""), 0), 0);
}

TEST_F(QamDvDirTest, ReadableAndWritableFollowTheCallersRights) {
  ASSERT_EQ(chmod((temp_ / "file").c_str(), 0444), 0);  // nobody may read only
  ASSERT_EQ(chmod((temp_ / "folder").c_str(), 0733),
            0);  // nobody may write only
  WriteFile(temp_ / "secret", "x");
  ASSERT_EQ(chmod((temp_ / "secret").c_str(), 0600), 0);
  I18NString file = Path("file");
  I18NString folder = Path("folder");
  I18NString secret = Path("secret");
  int result = AsNobody([&] {
    const unsigned short r = QamDvDir::kReadable, w = QamDvDir::kWritable;
    if (QamDvDir::exists(file, QamDvDir::kFile | r) == 0) return 1;
    if (QamDvDir::exists(file, QamDvDir::kFile | w) != 0) return 2;
    if (QamDvDir::exists(folder, QamDvDir::kFolder | w) == 0) return 3;
    if (QamDvDir::exists(folder, QamDvDir::kFolder | r) != 0) return 4;
    if (QamDvDir::exists(secret, r) != 0) return 5;
    if (QamDvDir::exists(secret, QamDvDir::kFile) == 0) return 6;
    std::vector<I18NString> files, folders;
    if (QamDvDir::readDir(folder, files, nullptr, folders, nullptr) != 0) return 7;
    return 0;
  });
  if (result == kCouldNotBecomeNobody) GTEST_SKIP() << "cannot run as the user nobody here";
  EXPECT_EQ(result, 0) << "the numbered check in the child failed";
}

TEST_F(QamDvDirTest, ReadDirGivesBareSortedNamesWithoutDotEntries) {
  WriteFile(temp_ / "b-file", "");
  WriteFile(temp_ / "\xC3\xA9t\xC3\xA9", "");
  WriteFile(temp_ / "bad\xFFname", "");
  ASSERT_EQ(mkdir((temp_ / "a-folder").c_str(), 0755), 0);
  ASSERT_EQ(symlink(".", (temp_ / "loop").c_str()), 0);
  std::vector<I18NString> files, folders;
  ASSERT_NE(QamDvDir::readDir(I18NString(temp_.path().c_str()), files, nullptr, folders, nullptr),
            0);
  EXPECT_EQ(U8(files), (std::vector<std::string>{"b-file", "bad\xEF\xBF\xBDname", "dangling",
                                                 "file", "link-to-file", "\xC3\xA9t\xC3\xA9"}));
  EXPECT_EQ(U8(folders),
            (std::vector<std::string>{"a-folder", "folder", "link-to-folder", "loop"}));

  std::vector<I18NString> none1, none2;
  EXPECT_EQ(QamDvDir::readDir(Path("missing"), none1, nullptr, none2, nullptr), 0);
  EXPECT_EQ(QamDvDir::readDir(Path("file"), none1, nullptr, none2, nullptr), 0);
  EXPECT_NE(QamDvDir::readDir(Path("folder"), none1, nullptr, none2, nullptr), 0);
  EXPECT_TRUE(none1.empty());
  EXPECT_TRUE(none2.empty());
}

TEST_F(QamDvDirTest, CreateDirBeneathMakesOneFolderAndLeavesErrno) {
  const I18NString root(temp_.path().c_str());
  EXPECT_NE(QamDvDir::createDirBeneath(root, I18NString("new")), 0);
  EXPECT_NE(QamDvDir::exists(Path("new"), QamDvDir::kFolder), 0);
  errno = 0;
  EXPECT_EQ(QamDvDir::createDirBeneath(root, I18NString("new")), 0);
  EXPECT_EQ(errno, EEXIST);
  errno = 0;
  EXPECT_EQ(QamDvDir::createDirBeneath(root, I18NString("absent/child")), 0);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(QamDvDir::exists(Path("absent"), 0), 0) << "only one folder may be made";
}

// Folder creation beneath a root: the kernel's openat2 and the walk used
// where it is missing resolve every path alike, and refuse every way out.
TEST(QamDvDirBeneathTest, LinksAreFollowedOnlyInsideTheRoot) {
  TempDir temp;
  TempDir outside;
  const std::string root = temp / "root";
  for (const std::string& folder : {root, root + "/in", root + "/in/sub"}) {
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0) << folder;
  }
  WriteFile(root + "/file", "x");
  const std::pair<std::string, std::string> links[] = {
      {"in/sub", "rel"},        {root + "/in", "abs"}, {"rel", "chain"},
      {"../in", "in/back"},     {outside.path(), "out"}, {"..", "up"},
      {"loop", "loop"},         {"../../../root/in", "in/sub/around"},
  };
  for (const auto& [target, name] : links) {
    ASSERT_EQ(symlink(target.c_str(), (root + "/" + name).c_str()), 0) << name;
  }
  ASSERT_EQ(symlink(root.c_str(), (temp / "alias").c_str()), 0);
  struct Case {
    const char* path;   // the folder to resolve
    const char* lands;  // where it lies below the root, or null
    int error;          // else the error
  } cases[] = {
      {"in", "in", 0},          {"rel", "in/sub", 0},     {"abs", "in", 0},
      {"chain", "in/sub", 0},   {"in/back/sub", "in/sub", 0}, {"/in//./sub/", "in/sub", 0},
      {"out", nullptr, EXDEV},  {"up", nullptr, EXDEV},   {"in/sub/around", nullptr, EXDEV},
      {"loop", nullptr, ELOOP}, {"file", nullptr, ENOTDIR}, {"missing", nullptr, ENOENT},
  };
  auto inode = [](const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
  };
  const int rootFolder = open(root.c_str(), O_PATH | O_DIRECTORY);
  ASSERT_GE(rootFolder, 0);
  char* real = realpath(root.c_str(), nullptr);
  const std::string rootPath = real;
  std::free(real);
  int made = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    int walked = -1;
    const int walkError =
        platform::posix::OpenFolderBeneathByWalk(rootFolder, rootPath, c.path, &walked);
    if (c.lands != nullptr) {
      ASSERT_EQ(walkError, 0) << std::strerror(walkError);
      ASSERT_GE(walked, 0);
      struct stat info;
      ASSERT_EQ(fstat(walked, &info), 0);
      EXPECT_EQ(info.st_ino, inode(root + "/" + c.lands));
      close(walked);
    } else {
      EXPECT_EQ(walkError, c.error) << std::strerror(walkError);
    }
    // The same through the utility, root given as itself and as a link.
    for (const std::string& given : {root, temp / "alias"}) {
      const std::string name = std::string(c.path) + "/new" + std::to_string(++made);
      errno = 0;
      const int created = QamDvDir::createDirBeneath(I18NString::FromUtf8(given),
                                                     I18NString::FromUtf8(name));
      const int error = errno;
      EXPECT_EQ(created != 0, c.lands != nullptr) << given << " " << std::strerror(error);
      if (c.lands == nullptr) {
        EXPECT_EQ(error, c.error) << std::strerror(error);
      }
      EXPECT_EQ(QamDvDir::ExistsBeneath(I18NString::FromUtf8(given), I18NString::FromUtf8(name)) != 0,
                c.lands != nullptr);
    }
  }
  close(rootFolder);
  EXPECT_EQ(testing_support::Shell("ls -A " + outside.path()).out, "") << "made outside the root";
  // A name that is itself a link is an entry already, never followed.
  errno = 0;
  EXPECT_EQ(QamDvDir::createDirBeneath(I18NString::FromUtf8(root), I18NString("out")), 0);
  EXPECT_EQ(errno, EEXIST);
}

TEST(RaiseConventionTest, RaiseRecordsWhereAndWhoAndThrowsAQamException) {
  try {
    QamRaise(kQamInputError, I18NString("what went wrong"),
             SourceLocation("C:\\src\\dir/sub\\file.cpp", 17), "Caller::Function");
    FAIL() << "QamRaise returned";
  } catch (const QamException& error) {
    EXPECT_EQ(error.code(), static_cast<long>(kQamInputError));
    EXPECT_EQ(U8(error.message()), "what went wrong");
    EXPECT_STREQ(error.what(), "what went wrong");
    EXPECT_EQ(error.sourceFile(), "file.cpp");
    EXPECT_EQ(error.sourceLine(), 17);
    EXPECT_EQ(error.function(), "Caller::Function");
    EXPECT_EQ(error.macro(), "PYL_THROW");
  }
  // A message without text takes the generic text of its number.
  QamMessage message(kQamInputError);
  QamException exception(static_cast<long>(kQamInputError));
  try {
    (exception << message).Raise(SourceLocation(__FILE__, __LINE__), "F", "PYL_THROW");
    FAIL() << "Raise returned";
  } catch (const PYLException& error) {
    EXPECT_FALSE(error.message().empty());
    EXPECT_EQ(error.sourceFile(), "QamUtil_test.cpp");
  }
}

}  // namespace
