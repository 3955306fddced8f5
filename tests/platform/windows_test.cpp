// The Windows port's own behaviour, run under Wine: wide paths, drive-letter
// roots, the error a missing parent folder gives, the folder-creation
// document formatted with the C runtime's wide "%s"; and the rules that Wine
// does not enforce (MAX_PATH, reparse points, device names), through the
// code that applies them.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "PYLException.h"
#include "QamCVSCreateFolder.h"
#include "QamCVSExist.h"
#include "QamUtil.h"
#include "platform.h"
#include "platform_windows.h"
#include "support/test_support.h"
#include "text_capture.h"

using testing_support::TempDir;
using testing_support::WithBackSlashes;
using testing_support::WriteFile;

namespace {

const char kJapanese[] = "\xE6\x97\xA5\xE6\x9C\xAC";       // not in code page 1252
const char kGreek[] = "\xCE\xB5\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD";

I18NString Utf8(const std::string& text) { return I18NString::FromUtf8(text); }

TEST(WindowsPortTest, FolderCreationErrorsAndTheirDocuments) {
  TempDir temp;
  // Windows reports a missing parent as ERROR_PATH_NOT_FOUND, not 2.
  const I18NString root = Utf8(temp.path());
  EXPECT_EQ(QamDvDir::createDirBeneath(root, Utf8("missing/new")), 0);
  EXPECT_EQ(platform::LastSystemError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(QamDvDir::createDirBeneath(root, Utf8(kJapanese)), 1);
  EXPECT_EQ(QamDvDir::createDirBeneath(root, Utf8(kJapanese)), 0);
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
  ASSERT_EQ(QamDvDir::createDirBeneath(Utf8(temp.path()), Utf8("mod")), 1);
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
  ASSERT_EQ(QamDvDir::createDirBeneath(Utf8(temp.path()), Utf8(kGreek)), 1);
  ASSERT_EQ(QamDvDir::createDirBeneath(Utf8(temp.path()), Utf8("Attic")), 1);
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

TEST(WindowsPathTest, EveryPathTakesTheExtendedForm) {
  using platform::windows::ExtendedPath;
  const std::wstring longName(120, L'n');
  struct Case {
    std::wstring given, extended;
  };
  const std::vector<Case> cases = {
      {L"C:\\cvs\\proj", L"\\\\?\\C:\\cvs\\proj"},
      {L"c:/cvs//proj/", L"\\\\?\\C:\\cvs\\proj"},
      {L"C:\\", L"\\\\?\\C:\\"},
      {L"C:/", L"\\\\?\\C:\\"},
      {L"C:\\a\\.\\b\\..\\..\\..\\c", L"\\\\?\\C:\\c"},  // never above the drive
      // Kept as written, where the Win32 rules would name "src" and "x".
      {L"C:\\proj\\src.", L"\\\\?\\C:\\proj\\src."},
      {L"C:\\proj\\src \\x..", L"\\\\?\\C:\\proj\\src \\x.."},
      {L"C:\\proj\\CON", L"\\\\?\\C:\\proj\\CON"},
      {L"\\\\server\\share\\cvsroot\\", L"\\\\?\\UNC\\server\\share\\cvsroot"},
      {L"//server/share", L"\\\\?\\UNC\\server\\share\\"},
      {L"\\\\server\\share\\..\\..\\x", L"\\\\?\\UNC\\server\\share\\x"},  // never above the share
      // Taken literally already, but "/" names nothing behind any prefix:
      // it separates, whichever separators the prefix is written with.
      {L"\\\\?\\C:\\a/b\\..", L"\\\\?\\C:\\a\\b\\.."},
      {L"\\\\?\\UNC\\server\\share\\x", L"\\\\?\\UNC\\server\\share\\x"},
      {L"\\\\.\\pipe\\tool-output", L"\\\\.\\pipe\\tool-output"},  // a device
      {L"\\\\?\\C:\\cvs\\/proj/src.", L"\\\\?\\C:\\cvs\\proj\\src."},  // a root joined with "/"
      {L"//?/C:/cvs/proj", L"\\\\?\\C:\\cvs\\proj"},
      {L"//?/UNC/server/share/cvs", L"\\\\?\\UNC\\server\\share\\cvs"},
      {L"/\?\?/C:/cvs", L"\\??\\C:\\cvs"},
      {L"//./pipe/tool-output", L"\\\\.\\pipe\\tool-output"},
      {L"C:\\" + longName + L"\\" + longName + L"\\" + longName,
       L"\\\\?\\C:\\" + longName + L"\\" + longName + L"\\" + longName},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExtendedPath(c.given), c.extended) << platform::Narrow(c.given);
  }

  // Relative, rooted and drive-relative paths start from the current folders.
  TempDir temp;
  const std::wstring folder = platform::Widen(WithBackSlashes(temp.path()));
  ASSERT_EQ(folder.compare(1, 2, L":\\"), 0);
  ASSERT_NE(SetCurrentDirectoryW(folder.c_str()), 0);
  const std::wstring here = L"\\\\?\\" + folder;
  EXPECT_EQ(ExtendedPath(L"proj\\src."), here + L"\\proj\\src.");
  EXPECT_EQ(ExtendedPath(L"./proj/../x "), here + L"\\x ");
  EXPECT_EQ(ExtendedPath(L""), here);
  EXPECT_EQ(ExtendedPath(folder.substr(0, 2) + L"proj"), here + L"\\proj");
  EXPECT_EQ(ExtendedPath(L"\\top\\x"), here.substr(0, 6) + L"\\top\\x");
  ASSERT_NE(SetCurrentDirectoryW(L"C:\\"), 0);
}

TEST(WindowsPathTest, NamesWindowsKeepsForItself) {
  using platform::windows::IsNameWindowsRefuses;
  using platform::windows::IsReservedDeviceName;
  for (const wchar_t* device :
       {L"CON", L"con", L"Nul", L"AUX.txt", L"PRN.tar.gz", L"COM1", L"com9", L"LPT1.c",
        L"CON .txt", L"NUL.", L"nul ", L"COM\u00B9", L"lpt\u00B3.x", L"COM\u00B2"}) {
    EXPECT_TRUE(IsReservedDeviceName(device)) << platform::Narrow(device);
    EXPECT_TRUE(IsNameWindowsRefuses(device)) << platform::Narrow(device);
  }
  for (const wchar_t* name : {L"CONSOLE", L"COM0", L"COM10", L"LPT", L"xCON", L"con_", L"COM\u00B4",
                              L"AUXILIARY.txt", L".CON"}) {
    EXPECT_FALSE(IsReservedDeviceName(name)) << platform::Narrow(name);
  }
  for (const wchar_t* refused : {L"a:b", L"a*b", L"a?b", L"a<b", L"a>b", L"a|b", L"a\"b",
                                 L"a\x01b", L"tab\tname", L"new.", L"new ", L"..."}) {
    EXPECT_TRUE(IsNameWindowsRefuses(refused)) << platform::Narrow(refused);
  }
  for (const wchar_t* allowed : {L"new", L"main.c,v", L".cvsignore", L"a b", L"\u65E5\u672C"}) {
    EXPECT_FALSE(IsNameWindowsRefuses(allowed)) << platform::Narrow(allowed);
  }
  EXPECT_TRUE(platform::windows::HasForbiddenComponent(L"\\\\?\\C:\\cvs\\src::$INDEX_ALLOCATION"));
  EXPECT_FALSE(platform::windows::HasForbiddenComponent(L"\\\\?\\C:\\cvs\\src"));
}

// The root is read as cvs.exe and Explorer read it; what lies beneath it,
// and a root in the literal form, is not.
TEST(WindowsPathTest, TheRootLosesTrailingDotsAndBlanksAsWin32Drops) {
  // GetFullPathNameW's readings (Wine's agree, but for "...", a name to Windows).
  struct Case {
    const char* given;
    const char* root;
  };
  const std::vector<Case> cases = {
      {"C:\\cvsroot.", "C:\\cvsroot"},
      {"C:\\cvsroot ", "C:\\cvsroot"},
      {"C:/cvsroot. .", "C:/cvsroot"},
      {"\\\\server\\share\\cvs.", "\\\\server\\share\\cvs"},
      {"C:cvs.", "C:cvs"},
      {"C:\\cvs.\\cvsroot.\\", "C:\\cvs\\cvsroot\\"},  // one dot before a separator
      {"C:\\cvs..\\cvsroot \\", "C:\\cvs.\\cvsroot \\"},
      {"C:\\cvs\\..", "C:\\cvs\\.."},
      {"C:\\...\\cvs", "C:\\...\\cvs"},
      {".", "."},
      {"\\\\?\\C:\\cvsroot.", "\\\\?\\C:\\cvsroot."},  // taken literally
      {"//?/C:/cvsroot ", "//?/C:/cvsroot "},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::RepositoryRoot(c.given), c.root) << c.given;
}

// A folder on the way is traversed, never listed; a folder is made with
// nothing asked of its parent's handle. Whether Windows grants that is the
// file system's (Wine checks no rights).
TEST(WindowsFolderTest, TheWalkAsksOnlyToTraverse) {
  using platform::windows::kMadeAccess;
  using platform::windows::kWalkAccess;
  EXPECT_EQ(kWalkAccess, static_cast<ACCESS_MASK>(FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE));
  EXPECT_EQ(kWalkAccess & (FILE_LIST_DIRECTORY | FILE_ADD_SUBDIRECTORY | FILE_ADD_FILE), 0u);
  EXPECT_EQ(kMadeAccess & ~static_cast<ACCESS_MASK>(FILE_READ_ATTRIBUTES | SYNCHRONIZE), 0u);
  // A look that neither finds nor is refused by an entry leaves the
  // answer to the creation, which reports its own error.
  struct Case {
    DWORD look;
    bool entry;
  };
  const std::vector<Case> cases = {
      {ERROR_SUCCESS, true},          {ERROR_ACCESS_DENIED, true},
      {ERROR_SHARING_VIOLATION, true}, {ERROR_FILE_NOT_FOUND, false},
      {ERROR_NETNAME_DELETED, false}, {ERROR_UNEXP_NET_ERR, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::windows::LookShowsEntry(c.look), c.entry) << c.look;
  }
}

// REPARSE_DATA_BUFFER as FSCTL_GET_REPARSE_POINT returns it.
std::vector<unsigned char> ReparseData(unsigned long tag, const std::wstring& substitute,
                                       unsigned flags) {
  std::vector<unsigned char> data;
  auto word = [&data](unsigned value) {
    data.push_back(static_cast<unsigned char>(value & 0xFF));
    data.push_back(static_cast<unsigned char>(value >> 8));
  };
  word(tag & 0xFFFF);
  word(tag >> 16);
  const bool link = tag == IO_REPARSE_TAG_SYMLINK;
  const unsigned names = static_cast<unsigned>(substitute.size() * 2);
  word(names + (link ? 12 : 8));
  word(0);
  word(0);      // substitute name offset
  word(names);  // and length
  word(names);  // print name offset
  word(0);      // and length
  if (link) {
    word(flags);
    word(0);
  }
  for (const wchar_t c : substitute) word(c);
  return data;
}

TEST(WindowsPathTest, LinksAreFollowedOnlyBeneathTheRoot) {
  using platform::windows::LinkTarget;
  using platform::windows::ParseLinkTarget;
  LinkTarget target;
  auto parse = [&target](const std::vector<unsigned char>& data) {
    return ParseLinkTarget(data.data(), data.size(), &target);
  };
  ASSERT_TRUE(parse(ReparseData(IO_REPARSE_TAG_SYMLINK, L"..\\sub", SYMLINK_FLAG_RELATIVE)));
  EXPECT_EQ(target.path, L"..\\sub");
  EXPECT_TRUE(target.relative);
  ASSERT_TRUE(parse(ReparseData(IO_REPARSE_TAG_SYMLINK, L"\\??\\C:\\cvs\\x", 0)));
  EXPECT_EQ(target.path, L"\\??\\C:\\cvs\\x");
  EXPECT_FALSE(target.relative);
  ASSERT_TRUE(parse(ReparseData(IO_REPARSE_TAG_MOUNT_POINT, L"\\??\\D:\\elsewhere", 0)));
  EXPECT_EQ(target.path, L"\\??\\D:\\elsewhere");
  EXPECT_FALSE(target.relative);
  // Any other reparse point is not a link, and lengths past the end are refused.
  EXPECT_FALSE(parse(ReparseData(0x9000001AUL, L"\\??\\C:\\x", 0)));  // a cloud file
  std::vector<unsigned char> cut = ReparseData(IO_REPARSE_TAG_MOUNT_POINT, L"\\??\\C:\\x", 0);
  cut.resize(cut.size() - 2);
  EXPECT_FALSE(parse(cut));
  EXPECT_FALSE(parse({}));

  const std::vector<std::wstring> roots = {L"\\\\?\\C:\\cvs", L"\\\\?\\UNC\\server\\share\\cvs"};
  struct Case {
    std::wstring target;
    bool beneath;
    std::deque<std::wstring> rest;
  };
  const std::vector<Case> cases = {
      {L"\\??\\C:\\cvs\\proj\\src", true, {L"proj", L"src"}},
      {L"\\??\\c:\\CVS", true, {}},  // names compare without regard to case
      {L"\\\\?\\UNC\\SERVER\\share\\cvs\\proj", true, {L"proj"}},
      {L"\\??\\C:\\cvsroot", false, {}},
      {L"\\??\\C:\\", false, {}},
      {L"\\??\\D:\\cvs\\proj", false, {}},
      {L"\\??\\Volume{0c2a5e6a-0000-0000-0000-100000000000}\\", false, {}},
      {L"C:\\cvs\\proj", false, {}},  // not an NT path
  };
  for (const Case& c : cases) {
    std::deque<std::wstring> rest;
    EXPECT_EQ(platform::windows::AbsoluteTargetBeneath(c.target, roots, &rest), c.beneath)
        << platform::Narrow(c.target);
    if (c.beneath) {
      EXPECT_EQ(rest, c.rest) << platform::Narrow(c.target);
    }
  }

  // Where the text cannot say (a file server's own drive, a subst drive, a
  // short name), the volume and the path on it decide; neither restarts the
  // walk on a name that differs in case.
  using platform::windows::FolderIdentity;
  FolderIdentity root;
  root.known = true;
  root.volume = 0x1234;
  root.path = L"\\cvs";
  struct IdentityCase {
    std::wstring target;
    unsigned long volume;  // 0: the reached folder's identity unknown
    std::wstring path;
    bool beneath;
    std::deque<std::wstring> rest;
  };
  const std::vector<IdentityCase> identityCases = {
      {L"\\??\\C:\\cvs\\proj", 0, L"", true, {L"proj"}},
      {L"\\??\\c:\\cvs\\proj", 0, L"", true, {L"proj"}},  // a volume in any case
      {L"\\??\\C:\\CVS\\proj", 0, L"", false, {}},
      {L"\\??\\C:\\CVS\\proj", 0x1234, L"\\CVS\\proj", false, {}},
      {L"\\??\\D:\\exports\\cvs\\a", 0x1234, L"\\cvs\\a\\b", true, {L"a", L"b"}},
      {L"\\??\\D:\\cvs", 0x1234, L"\\cvs", true, {}},
      {L"\\??\\D:\\cvs\\a", 0x9999, L"\\cvs\\a", false, {}},  // another volume
      {L"\\??\\D:\\cvsroot", 0x1234, L"\\cvsroot", false, {}},
      {L"\\??\\D:\\", 0x1234, L"\\", false, {}},
  };
  for (const IdentityCase& c : identityCases) {
    FolderIdentity reached;
    reached.known = c.volume != 0;
    reached.volume = c.volume;
    reached.path = c.path;
    std::deque<std::wstring> rest;
    EXPECT_EQ(platform::windows::LinkTargetBeneath(c.target, {L"\\\\?\\C:\\cvs"}, reached, root,
                                                   &rest),
              c.beneath)
        << platform::Narrow(c.target) << " " << platform::Narrow(c.path);
    if (c.beneath) {
      EXPECT_EQ(rest, c.rest) << platform::Narrow(c.target);
    }
  }
  // An unknown root decides nothing either.
  FolderIdentity reached = root;
  std::deque<std::wstring> rest;
  EXPECT_FALSE(platform::windows::LinkTargetBeneath(L"\\??\\D:\\cvs", {L"\\\\?\\C:\\cvs"},
                                                    reached, FolderIdentity(), &rest));
}

// Starts a command line with the Unix shell (Wine starts Unix programs, but
// its process handle does not wait for them) and waits until done holds.
bool RunUnixShellUntil(const std::string& command, const std::function<bool()>& done) {
  std::wstring line = L"/bin/sh -c \"" + platform::Widen(command) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &process) == 0) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (int waited = 0; waited < 10000; waited += 10) {
    if (done()) return true;
    Sleep(10);
  }
  return false;
}

// Wine keeps each handle as an open Unix descriptor, and starts Unix
// programs: a folder swapped for a link after the walk opened it cannot take
// the creation outside the repository.
TEST(WindowsFolderTest, HeldParentSwappedForALinkKeepsTheCreationInside) {
  if (GetFileAttributesW(L"Z:\\bin\\sh") == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "needs Wine, which shows the Unix root as Z:";
  }
  // Wine reuses process numbers: the time keeps runs apart.
  const std::string unixBase = "/tmp/qamcvs-swap-" + std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(GetTickCount64());
  const std::string base = "Z:" + unixBase;
  std::filesystem::create_directories(base + "/root/a");
  std::filesystem::create_directories(base + "/outside");
  platform::windows::HeldFolders held;
  ASSERT_EQ(platform::windows::OpenParentBeneath(base + "/root", "a/new", &held), 0);
  // Windows refuses to rename a held folder; a Unix program does not ask.
  EXPECT_EQ(MoveFileW(platform::Widen(base + "/root/a").c_str(),
                      platform::Widen(base + "/root/moved").c_str()),
            0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  ASSERT_TRUE(RunUnixShellUntil("mv " + unixBase + "/root/a " + unixBase + "/root/a.old && ln -s " +
                                    "../outside " + unixBase + "/root/a && touch " + unixBase +
                                    "/swapped",
                                [&base] { return std::filesystem::exists(base + "/swapped"); }));
  EXPECT_EQ(platform::windows::MakeFolderIn(held.parent(), held.name), 0);
  EXPECT_TRUE(std::filesystem::is_directory(base + "/root/a.old/new"));
  EXPECT_FALSE(std::filesystem::exists(base + "/outside/new"));
  // Walked afresh, the link that leads out is refused.
  held = platform::windows::HeldFolders();
  EXPECT_EQ(QamDvDir::createDirBeneath(Utf8(base + "/root"), Utf8("a/again")), 0);
  EXPECT_EQ(platform::LastSystemError(), ERROR_NOT_SAME_DEVICE);
  EXPECT_FALSE(std::filesystem::exists(base + "/outside/again"));
  held = platform::windows::HeldFolders();
  // Removed by Unix, which does not follow the link: Windows would see a
  // folder in it.
  EXPECT_TRUE(RunUnixShellUntil("rm -rf " + unixBase,
                                [&base] { return !std::filesystem::exists(base); }));
}

// A standard handle replaced, for the life of this object, by the client
// end of a named pipe, opened as a host might hand it over (for overlapped
// I/O too); the test holds the server end.
class StandardPipe {
 public:
  StandardPipe(DWORD which, DWORD mode, DWORD clientFlags = 0)
      : which_(which), saved_(GetStdHandle(which)) {
    const bool output = which != STD_INPUT_HANDLE;
    const std::wstring name =
        L"\\\\.\\pipe\\qamcvs-test-" + std::to_wstring(GetCurrentProcessId());
    server_ = CreateNamedPipeW(name.c_str(), output ? PIPE_ACCESS_INBOUND : PIPE_ACCESS_OUTBOUND,
                               mode | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    // The attribute rights let the program read and set the pipe's mode.
    client_ = CreateFileW(name.c_str(),
                          (output ? GENERIC_WRITE : GENERIC_READ) | FILE_READ_ATTRIBUTES |
                              FILE_WRITE_ATTRIBUTES,
                          0, nullptr, OPEN_EXISTING, clientFlags, nullptr);
    SetStdHandle(which_, client_);
  }
  ~StandardPipe() {
    CloseClient();
    CloseHandle(server_);
  }
  // Gives the standard handle back and closes the client end, so that a
  // writer waiting for it to read stops waiting.
  void CloseClient() {
    if (client_ == INVALID_HANDLE_VALUE) return;
    SetStdHandle(which_, saved_);
    CloseHandle(client_);
    client_ = INVALID_HANDLE_VALUE;
  }
  bool ok() const { return server_ != INVALID_HANDLE_VALUE && client_ != INVALID_HANDLE_VALUE; }
  HANDLE server() const { return server_; }
  HANDLE client() const { return client_; }

 private:
  DWORD which_;
  HANDLE saved_;
  HANDLE server_;
  HANDLE client_;
};

TEST(WindowsOutputTest, TheDocumentAndItsLineFeedAreOneMessage) {
  StandardPipe pipe(STD_OUTPUT_HANDLE, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE);
  ASSERT_TRUE(pipe.ok());
  ASSERT_EQ(platform::WriteToStandardOutput("<QAM_DOC/>", "\n"), 0);
  char message[64] = {};
  DWORD got = 0;
  ASSERT_NE(ReadFile(pipe.server(), message, sizeof message, &got, nullptr), 0);
  EXPECT_EQ(std::string(message, got), "<QAM_DOC/>\n");
}

// A document larger than the pipe's buffer reaches a host that reads late.
// A non-blocking message-type pipe takes no part of a message that does not
// fit: it is made blocking for the write, and left non-blocking after.
TEST(WindowsOutputTest, AFullNonBlockingPipeIsWaitedOn) {
  struct Case {
    DWORD type;
    DWORD readMode;
    bool noWait;
    DWORD clientFlags;
    bool peeks;  // a host that reads only what PeekNamedPipe shows, so as never to block
  };
  // Wine writes no part of a non-blocking byte-mode write larger than the
  // free buffer (Windows writes what fits): there the host's read must wait.
  const std::vector<Case> cases = {
      {PIPE_TYPE_BYTE, PIPE_READMODE_BYTE, true, 0, false},
      {PIPE_TYPE_MESSAGE, PIPE_READMODE_MESSAGE, true, 0, true},
      {PIPE_TYPE_BYTE, PIPE_READMODE_BYTE, true, FILE_FLAG_OVERLAPPED, false},
  };
  const std::string document(256 * 1024, 'd');
  for (const Case& c : cases) {
    StandardPipe pipe(STD_OUTPUT_HANDLE, c.type | c.readMode, c.clientFlags);
    ASSERT_TRUE(pipe.ok());
    DWORD mode = c.readMode | (c.noWait ? PIPE_NOWAIT : PIPE_WAIT);
    ASSERT_NE(SetNamedPipeHandleState(pipe.client(), &mode, nullptr, nullptr), 0);
    std::string received;
    std::atomic<bool> written{false};
    std::thread reader([&pipe, &received, &written, &c, &document] {
      Sleep(200);  // the pipe fills first
      char buffer[4096];
      DWORD got = 0;
      while (received.size() < document.size() + 1) {
        DWORD available = 0;
        if (PeekNamedPipe(pipe.server(), nullptr, 0, nullptr, &available, nullptr) == 0) break;
        if (available == 0 && c.peeks) {
          if (written) break;
          Sleep(10);
          continue;
        }
        const bool read = ReadFile(pipe.server(), buffer, sizeof buffer, &got, nullptr) != 0;
        if (!read && GetLastError() != ERROR_MORE_DATA) break;  // a message comes in parts
        received.append(buffer, got);
      }
    });
    EXPECT_EQ(platform::WriteToStandardOutput(document, "\n"), 0) << c.type;
    written = true;
    reader.join();
    EXPECT_TRUE(received == document + "\n") << c.type << ": " << received.size() << " bytes";
    DWORD state = 0;
    ASSERT_NE(GetNamedPipeHandleState(pipe.client(), &state, nullptr, nullptr, nullptr, nullptr, 0),
              0);
    EXPECT_EQ(state, mode) << c.type;
  }
}

TEST(WindowsOutputTest, ConsoleTextIsCutBetweenCharactersOnly) {
  const std::wstring text = L"ab\U0001F600cd";  // a b, a surrogate pair, c d
  std::vector<std::wstring_view> pieces = platform::windows::ConsolePieces(text, 3);
  EXPECT_EQ(pieces, (std::vector<std::wstring_view>{L"ab", L"\U0001F600c", L"d"}));
}

// The tool's text that OutputFile names, as the commands receive it; a
// failure to read it fails the test.
std::string CapturedText(const std::string& outputFile) {
  QamInputParams params;
  params.SetValue("OutputFile", Utf8(outputFile));
  try {
    return std::string(CaptureToolText(params).utf8());
  } catch (const PYLException& error) {
    ADD_FAILURE() << error.message().utf8();
    return std::string();
  }
}

TEST(WindowsInputTest, ANamedPipeServerThatDisconnectsEndsTheText) {
  const std::wstring name = L"\\\\.\\pipe\\qamcvs-log-" + std::to_wstring(GetCurrentProcessId());
  HANDLE server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND,
                                   PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  std::thread tool([server] {
    ConnectNamedPipe(server, nullptr);
    DWORD put = 0;
    WriteFile(server, "Files a and b differ\n", 21, &put, nullptr);
    FlushFileBuffers(server);
    DisconnectNamedPipe(server);
  });
  const std::string text = CapturedText(platform::Narrow(name));
  tool.join();
  CloseHandle(server);
  EXPECT_EQ(text, "Files a and b differ\n");
}

// Standard input is read to the writer's end: past a zero-length message,
// which is not the end; waited on while a non-blocking pipe is empty; and
// through an OVERLAPPED where the handle was opened for overlapped I/O.
TEST(WindowsInputTest, StandardInputIsReadToTheWritersEnd) {
  struct Case {
    DWORD type;
    bool noWait;
    DWORD clientFlags;
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases = {
      {PIPE_TYPE_MESSAGE, false, 0, {"Files a and b", "", " differ\n"}},
      {PIPE_TYPE_BYTE, true, 0, {"Files a and b differ\n"}},
      {PIPE_TYPE_BYTE, false, FILE_FLAG_OVERLAPPED, {"Files a and b", " differ\n"}},
  };
  for (const Case& c : cases) {
    StandardPipe pipe(STD_INPUT_HANDLE, c.type, c.clientFlags);
    ASSERT_TRUE(pipe.ok());
    DWORD mode = PIPE_READMODE_BYTE | (c.noWait ? PIPE_NOWAIT : PIPE_WAIT);
    ASSERT_NE(SetNamedPipeHandleState(pipe.client(), &mode, nullptr, nullptr), 0);
    std::thread tool([&pipe, &c] {
      for (const std::string& message : c.messages) {
        Sleep(100);  // each message read on its own, and nothing there at first
        DWORD put = 0;
        WriteFile(pipe.server(), message.data(), static_cast<DWORD>(message.size()), &put,
                  nullptr);
      }
      FlushFileBuffers(pipe.server());
      DisconnectNamedPipe(pipe.server());
    });
    const std::string text = CapturedText("-");
    pipe.CloseClient();
    tool.join();
    EXPECT_EQ(text, "Files a and b differ\n") << c.messages.size();
  }
}

// A host may hand over files opened for overlapped I/O, where ReadFile and
// WriteFile need an OVERLAPPED with the place in the file.
TEST(WindowsInputTest, FilesOpenedForOverlappedInputAndOutput) {
  TempDir temp;
  const std::string log = "Files a and b differ\n";
  WriteFile(temp / "log", log);
  const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
  const HANDLE input = CreateFileW(platform::Widen(temp / "log").c_str(), GENERIC_READ, sharing,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  const HANDLE output = CreateFileW(platform::Widen(temp / "document").c_str(), GENERIC_WRITE,
                                    sharing, nullptr, CREATE_NEW, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(input, INVALID_HANDLE_VALUE);
  ASSERT_NE(output, INVALID_HANDLE_VALUE);
  const HANDLE savedInput = GetStdHandle(STD_INPUT_HANDLE);
  const HANDLE savedOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_INPUT_HANDLE, input);
  SetStdHandle(STD_OUTPUT_HANDLE, output);
  const std::string text = CapturedText("-");
  const platform::SystemError written = platform::WriteToStandardOutput("<QAM_DOC/>", "\n");
  const platform::SystemError more = platform::WriteToStandardOutput("<QAM_DOC/>", "\n");
  SetStdHandle(STD_INPUT_HANDLE, savedInput);
  SetStdHandle(STD_OUTPUT_HANDLE, savedOutput);
  CloseHandle(input);
  CloseHandle(output);
  EXPECT_EQ(text, log);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(more, 0);
  EXPECT_EQ(testing_support::ReadFile(temp / "document"), "<QAM_DOC/>\n<QAM_DOC/>\n");
}

// What one ReadFile means, on a pipe and elsewhere.
TEST(WindowsInputTest, ReadResultsAndWhatTheyMean) {
  using platform::windows::ReadStep;
  struct Case {
    bool succeeded;
    DWORD got, error;
    bool pipe;
    ReadStep step;
  };
  const std::vector<Case> cases = {
      {true, 5, 0, true, ReadStep::kData},
      {true, 0, 0, true, ReadStep::kAgain},  // a zero-length message
      {false, 7, ERROR_MORE_DATA, true, ReadStep::kData},
      {false, 0, ERROR_NO_DATA, true, ReadStep::kWait},
      {false, 0, ERROR_BROKEN_PIPE, true, ReadStep::kEnd},
      {false, 0, ERROR_PIPE_NOT_CONNECTED, true, ReadStep::kEnd},
      {false, 0, ERROR_ACCESS_DENIED, true, ReadStep::kFailed},
      {true, 5, 0, false, ReadStep::kData},
      {true, 0, 0, false, ReadStep::kEnd},
      {false, 0, ERROR_HANDLE_EOF, false, ReadStep::kEnd},  // overlapped, at the end
      {false, 0, ERROR_BROKEN_PIPE, false, ReadStep::kFailed},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::windows::ClassifyRead(c.succeeded, c.got, c.error, c.pipe), c.step)
        << c.succeeded << " " << c.got << " " << c.error << " " << c.pipe;
  }
}

TEST(WindowsInputTest, ArgumentsComeFromTheWideCommandLineOnly) {
  // What the C runtime's narrow argv holds does not count, even in number.
  char first[] = "qam_tests.exe";
  char second[] = "PathInRep=?? ?";
  char* narrow[] = {first, second, nullptr};
  platform::Utf8Arguments arguments(2, narrow);
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  ASSERT_NE(wide, nullptr);
  ASSERT_EQ(arguments.count(), count);
  for (int i = 0; i < count; ++i) EXPECT_EQ(arguments.values()[i], platform::Narrow(wide[i]));
  LocalFree(wide);
}

// A host that starts the program without a standard input handle gave no
// text: OutputFile=- fails, and does not read as empty.
TEST(WindowsInputTest, AMissingStandardInputIsNoText) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE reader = nullptr;
  HANDLE writer = nullptr;
  ASSERT_NE(CreatePipe(&reader, &writer, &inherit, 0), 0);
  SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = writer;
  startup.hStdError = writer;
  std::wstring line = L"qamcvs.exe 4 OutputFile=-";
  // Built on Linux, the program's path is a Unix one, which Wine shows on Z:.
  const std::string binary = QAMCVS_BINARY;
  const std::wstring program = platform::Widen(binary[0] == '/' ? "Z:" + binary : binary);
  PROCESS_INFORMATION process;
  ASSERT_NE(CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                           nullptr, &startup, &process),
            0);
  CloseHandle(writer);
  std::string output;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(reader, buffer, sizeof buffer, &got, nullptr) != 0 && got > 0) {
    output.append(buffer, got);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 99;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(reader);
  EXPECT_EQ(status, 0u);
  EXPECT_NE(output.find("standard input was closed when the program started"), std::string::npos)
      << output;
}

TEST(WindowsErrorTest, ErrorTextsAreTheLinuxBuildsWords) {
  struct Case {
    DWORD error;
    const char* text;
  };
  const std::vector<Case> cases = {
      {ERROR_FILE_NOT_FOUND, "No such file or directory"},
      {ERROR_BAD_NETPATH, "No such file or directory"},
      {ERROR_BAD_NET_NAME, "No such file or directory"},
      {ERROR_ACCESS_DENIED, "Permission denied"},
      {ERROR_CANT_ACCESS_FILE, "Permission denied"},
      {ERROR_INVALID_NAME, "Invalid argument"},
      {ERROR_DIRECTORY, "Not a directory"},
      {platform::windows::kErrorFolderRead, "Is a directory"},
      {ERROR_NOT_READY, "No medium found"},
      {ERROR_PIPE_NOT_CONNECTED, "Broken pipe"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::SystemErrorText("Could not open x", static_cast<int>(c.error)),
              std::string("Could not open x: ") + c.text)
        << c.error;
  }
}

}  // namespace
