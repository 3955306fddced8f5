// The Windows port's own behaviour, run under Wine: wide paths, drive-letter
// roots, the error a missing parent folder gives, the folder-creation
// document formatted with the C runtime's wide "%s".
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QamCVSCreateFolder.h"
#include "QamCVSExist.h"
#include "QamUtil.h"
#include "platform.h"
#include "support/test_support.h"

using testing_support::TempDir;
using testing_support::WithBackSlashes;
using testing_support::WriteFile;

namespace {

const char kJapanese[] = "\xE6\x97\xA5\xE6\x9C\xAC";       // not in code page 1252
const char kGreek[] = "\xCE\xB5\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD";

I18NString Utf8(const std::string& text) { return I18NString::FromUtf8(text); }

TEST(WindowsPortTest, FolderCreationErrorsAndTheirDocuments) {
  TempDir temp;
  // CreateDirectoryW reports a missing parent as ERROR_PATH_NOT_FOUND, not 2.
  EXPECT_EQ(QamDvDir::createDir(Utf8(temp / "missing/new")), 0);
  EXPECT_EQ(platform::LastSystemError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(QamDvDir::createDir(Utf8(temp / kJapanese)), 1);
  EXPECT_EQ(QamDvDir::createDir(Utf8(temp / kJapanese)), 0);
  EXPECT_EQ(platform::LastSystemError(), ERROR_ALREADY_EXISTS);

  struct Case {
    std::string pathInRep, folderName, document;
  };
  const std::string body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><QAM_DOC><Output>";
  const std::vector<Case> cases = {
      {kJapanese, kGreek, body + "<Created>TRUE</Created><Reason>The operation succeded"
                                 "</Reason></Output></QAM_DOC>"},
      {kJapanese, kGreek, body + "<Created>FALSE</Created><Reason>A folder by that name "
                                 "already exists.</Reason></Output></QAM_DOC>"},
      // Error 3, so the reason is not left empty as for error 2.
      {"missing", "new", body + "<Created>FALSE</Created><Reason>The specified path in "
                                "repository is not invalid</Reason></Output></QAM_DOC>"},
      {"..\\..", "escape", body + "<Created>FALSE</Created><Reason>The specified path in "
                                  "repository is not invalid</Reason></Output></QAM_DOC>"},
  };
  for (const Case& c : cases) {
    QamInputParams params;
    params.SetValue("PathToRep", Utf8(WithBackSlashes(temp.path()) + "\\"));
    params.SetValue("PathInRep", Utf8(c.pathInRep));
    params.SetValue("FolderName", Utf8(c.folderName));
    QamCVSCreateFolder command(params);
    command.ProceesOutPut();
    EXPECT_EQ(std::string(command.ConverToQamFormat().utf8()), c.document)
        << c.pathInRep << " | " << c.folderName;
  }
  EXPECT_EQ(QamDvDir::exists(Utf8(temp / kJapanese + "/" + kGreek), QamDvDir::kFolder), 1);
}

TEST(WindowsPortTest, DriveLetterAndBackSlashPaths) {
  TempDir temp;
  ASSERT_EQ(temp.path().compare(1, 2, ":/"), 0) << temp.path();
  ASSERT_EQ(QamDvDir::createDir(Utf8(temp / "mod")), 1);
  WriteFile(temp / "mod/file.c,v", "x");
  WriteFile(temp / "read-only,v", "x");
  SetFileAttributesW(platform::Widen(temp / "read-only,v").c_str(), FILE_ATTRIBUTE_READONLY);

  const unsigned short kReadWriteFolder =
      QamDvDir::kFolder | QamDvDir::kReadable | QamDvDir::kWritable;
  const std::string back = WithBackSlashes(temp.path());
  EXPECT_EQ(QamDvDir::exists(Utf8(back), kReadWriteFolder), 1);
  EXPECT_EQ(QamDvDir::exists(Utf8(back + "\\\\mod/"), QamDvDir::kFolder), 1);
  EXPECT_EQ(QamDvDir::exists(Utf8(back + "\\mod\\file.c,v"), QamDvDir::kFile), 1);
  EXPECT_EQ(QamDvDir::exists(Utf8(back + "\\mod\\file.c,v"), QamDvDir::kFolder), 0);
  EXPECT_EQ(QamDvDir::exists(Utf8(back + "\\read-only,v"), QamDvDir::kReadable), 1);
  EXPECT_EQ(QamDvDir::exists(Utf8(back + "\\read-only,v"), QamDvDir::kWritable), 0);
  SetFileAttributesW(platform::Widen(temp / "read-only,v").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(QamDvDir::exists(Utf8(back.substr(0, 3)), QamDvDir::kFolder), 1);  // the drive

  // The path existence command on a drive-letter root written with back-slashes.
  for (const std::string& root : {back, back + "\\", back + "/"}) {
    for (const char* inRepository : {"mod", "mod\\file.c", "mod/file.c\\"}) {
      QamInputParams params;
      params.SetValue("PathToRep", Utf8(root));
      params.SetValue("PathInRep", Utf8(inRepository));
      QamCVSExist command(params);
      command.ProceesOutPut();
      EXPECT_EQ(std::string(command.ConverToQamFormat().utf8()),
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?><QAM_DOC><Output><RepositoryExists>"
                "TRUE</RepositoryExists><PathExists>TRUE</PathExists></Output></QAM_DOC>")
          << root << " | " << inRepository;
    }
  }
}

TEST(WindowsPortTest, ListingSortsUtf8NamesWithoutDotEntries) {
  TempDir temp;
  ASSERT_EQ(QamDvDir::createDir(Utf8(temp / kGreek)), 1);
  ASSERT_EQ(QamDvDir::createDir(Utf8(temp / "Attic")), 1);
  WriteFile(temp / "b,v", "b");
  WriteFile(temp / "a,v", "a");
  std::vector<I18NString> files, folders;
  ASSERT_EQ(QamDvDir::readDir(Utf8(WithBackSlashes(temp.path())), files, nullptr, folders,
                              nullptr),
            1);
  std::vector<std::string> fileNames, folderNames;
  for (const I18NString& name : files) fileNames.emplace_back(name.utf8());
  for (const I18NString& name : folders) folderNames.emplace_back(name.utf8());
  EXPECT_EQ(fileNames, (std::vector<std::string>{"a,v", "b,v"}));
  EXPECT_EQ(folderNames, (std::vector<std::string>{"Attic", kGreek}));
  EXPECT_EQ(QamDvDir::readDir(Utf8(temp / "missing"), files, nullptr, folders, nullptr), 0);
}

}  // namespace
