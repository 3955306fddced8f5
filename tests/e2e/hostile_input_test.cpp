// Hostile input for the whole program: huge and degenerate logs, huge and
// numerous arguments, a huge folder, odd names and symbolic links in the
// repository. Every run must end on its own with one well-formed document,
// within a bound on time and on peak memory for the large inputs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using testing_support::ParsedXml;
using testing_support::ParseXml;
using testing_support::ReadFile;
using testing_support::Run;
using testing_support::RunResult;
using testing_support::Shell;
using testing_support::ShellQuote;
using testing_support::TempDir;
using testing_support::WriteFile;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Generous: a sanitizer build on two busy cores is several times slower.
constexpr double kSecondsLimit = 20.0;
constexpr long kMegabyte = 1024 * 1024;

const std::string kSeparator(28, '-');
const std::string kClosing(77, '=');
const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Every large run is killed after this long, so that a hang fails the test
// instead of stopping the suite.
constexpr int kHardKillSeconds = 120;

struct Measured {
  RunResult result;  // with its time and its peak resident set
};

Measured RunMeasured(const std::vector<std::string>& args) {
  return Measured{testing_support::RunQamcvs(args, "", kHardKillSeconds)};
}

// Peak memory allowed: factor times the input, 30 MB for the program itself
// (its libraries and the parts of ICU's data it touches), and perItem bytes
// for each record or child held until the document is written.
// AddressSanitizer adds shadow memory, red zones and a quarantine of freed
// blocks of up to 256 MB, so its bound is wider.
long MemoryLimit(long inputBytes, long factor, long items = 0, long perItem = 0) {
  long limit = factor * inputBytes + 30 * kMegabyte + items * perItem;
  return kSanitized ? 2 * limit + 256 * kMegabyte : limit;
}

void Report(const char* what, const Measured& measured) {
  std::printf("[ measure  ] %s: %.2f s, peak %ld MB%s\n", what, measured.result.seconds,
              measured.result.peakBytes / kMegabyte, kSanitized ? " (sanitizer build)" : "");
}

// The checks every large run shares: exit status, one well-formed document,
// time and memory.
void ExpectBounded(const Measured& measured, int status, long memoryLimit, const ParsedXml& doc) {
  EXPECT_EQ(measured.result.status, status) << measured.result.err;
  EXPECT_TRUE(doc.wellFormed) << doc.error;
  EXPECT_EQ(doc.rootName, "QAM_DOC");
  EXPECT_LT(measured.result.seconds, kSecondsLimit);
  EXPECT_GT(measured.result.peakBytes, 0) << "wait4 gave no peak";
  EXPECT_LT(measured.result.peakBytes, memoryLimit);
}

// ---------------------------------------------------------------------------
// History logs.

// The comment rlog printed in log for revision 1.<revision>: the lines after
// its date line, up to the next separator or the closing line.
std::string CommentInLog(const std::string& log, int revision) {
  const std::size_t block = log.find("\nrevision 1." + std::to_string(revision) + "\n");
  const std::size_t start = log.find('\n', log.find("\ndate: ", block) + 1) + 1;
  const std::size_t end = std::min(log.find("\n" + kSeparator + "\n", start),
                                   log.find("\n" + kClosing + "\n", start));
  return block == std::string::npos ? "<no revision 1." + std::to_string(revision) + ">"
                                    : log.substr(start, end - start);
}

// A revision block whose comment is the given text.
std::string RevisionBlock(int revision, const std::string& comment) {
  return kSeparator + "\nrevision 1." + std::to_string(revision) +
         "\ndate: 2024/05/06 07:08:09;  author: alice;  state: Exp;  lines: +1 -0\n" + comment +
         "\n";
}

std::string LogHeader(int count) {
  return "\nRCS file: /repo/big.c,v\nWorking file: big.c\nhead: 1." + std::to_string(count) +
         "\nbranch:\nlocks: strict\naccess list:\nsymbolic names:\nkeyword substitution: kv\n"
         "total revisions: " +
         std::to_string(count) + ";\tselected revisions: " + std::to_string(count) +
         "\ndescription:\n";
}

// A comment of about 11.5 KB: many lines with markup characters, a line of
// 28 hyphens and a closing line that are comment text, not structure.
std::string BulkyComment(int revision) {
  std::string comment;
  for (int lineNumber = 0; lineNumber < 200; ++lineNumber) {
    comment += "Line " + std::to_string(lineNumber) + " of change " + std::to_string(revision) +
               ": a & b < c > d ]]> \"q\" 'a' \xC3\xA9t\xC3\xA9\n";
    if (lineNumber == 50) comment += kSeparator + "\nnot a revision line\n";
    if (lineNumber == 100) comment += kClosing + "\n";
  }
  comment.pop_back();  // the record's comment loses its trailing line feed
  return comment;
}

// The big logs are written once per process, when a test first needs one:
// ctest runs each test in a process of its own.
class HostileHistoryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dir_ = new TempDir; }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  // What rlog prints for the archive of 200,000 revisions that
  // scripts/make_long_archive.sh writes, about 43 MB. rlog takes more than a
  // minute for that many, so the log is kept in the build folder and made
  // again only when the script changes.
  static std::string LongLog(long* bytes) {
    const std::string log = testing_support::LongRlogLog(
        kLongCount, std::filesystem::path(QAMCVS_BINARY).parent_path().string());
    EXPECT_NE(log, "") << "scripts/make_long_archive.sh or rlog failed";
    std::error_code error;
    *bytes = static_cast<long>(std::filesystem::file_size(log, error));
    return log;
  }

  // 4,600 revisions with comments of 11.5 KB, just over 50 MiB.
  static std::string BulkyLog(long* bytes) {
    static long size = 0;
    const std::string path = *dir_ / "bulky.log";
    if (size == 0) {
      std::string log = LogHeader(kBulkyCount);
      for (int i = kBulkyCount; i >= 1; --i) log += RevisionBlock(i, BulkyComment(i));
      log += kClosing + "\n";
      size = static_cast<long>(log.size());
      WriteFile(path, log);
    }
    *bytes = size;
    return path;
  }

  static constexpr int kLongCount = 200000;
  static constexpr int kBulkyCount = 4600;
  static TempDir* dir_;
};

TempDir* HostileHistoryTest::dir_ = nullptr;

TEST_F(HostileHistoryTest, TwoHundredThousandRevisions) {
  if (!testing_support::HaveProgram("rlog")) GTEST_SKIP() << "rlog is not installed";
  long logBytes = 0;
  Measured run = RunMeasured({"4", "OutputFile=" + LongLog(&logBytes)});
  Report("history, 200,000 revisions", run);
  ParsedXml doc = ParseXml(run.result.out);
  // Each record holds four strings of its own until the document is written.
  ExpectBounded(run, 1, MemoryLimit(logBytes, 6, kLongCount, 512), doc);
  std::vector<std::string> revisions = doc.TextsOf("Revision");
  ASSERT_EQ(revisions.size(), static_cast<std::size_t>(kLongCount));
  EXPECT_EQ(revisions.front(), "1.1");
  EXPECT_EQ(revisions.back(), "1.200000");
  std::vector<std::string> comments = doc.TextsOf("Comment");
  ASSERT_EQ(comments.size(), revisions.size());
  const std::string logText = testing_support::ReadFile(LongLog(&logBytes));
  EXPECT_EQ(comments.front(), CommentInLog(logText, 1));
  EXPECT_EQ(comments.back(), CommentInLog(logText, kLongCount));
  std::vector<std::string> dates = doc.TextsOf("DateTime");
  EXPECT_EQ(dates.back(), "2024/09/25 08:20:20");
}

TEST_F(HostileHistoryTest, FiftyMegabyteLog) {
  long logBytes = 0;
  const std::string path = BulkyLog(&logBytes);
  ASSERT_GT(logBytes, 50 * kMegabyte);
  Measured run = RunMeasured({"4", "OutputFile=" + path});
  Report("history, 50 MB log", run);
  ParsedXml doc = ParseXml(run.result.out);
  ExpectBounded(run, 1, MemoryLimit(logBytes, 6), doc);
  std::vector<std::string> comments = doc.TextsOf("Comment");
  ASSERT_EQ(comments.size(), static_cast<std::size_t>(kBulkyCount));
  EXPECT_EQ(comments.front(), BulkyComment(1));
  EXPECT_EQ(comments.back(), BulkyComment(kBulkyCount));
}

TEST_F(HostileHistoryTest, FiveMegabyteCommentLine) {
  std::string comment;
  const std::string piece = "x & <y> ]]> \xC3\xA9 \"z\" ";
  while (comment.size() < 5 * static_cast<std::size_t>(kMegabyte)) comment += piece;
  std::string log = LogHeader(1) + RevisionBlock(1, comment) + kClosing + "\n";
  TempDir work;
  WriteFile(work / "line.log", log);
  Measured run = RunMeasured({"4", "OutputFile=" + work / "line.log"});
  Report("history, one 5 MB comment line", run);
  ParsedXml doc = ParseXml(run.result.out);
  // A comment this dense in markup is escaped to twice its size, and the XML
  // writer takes each value as UTF-16, two bytes a character.
  ExpectBounded(run, 1, MemoryLimit(static_cast<long>(log.size()), 12), doc);
  std::vector<std::string> comments = doc.TextsOf("Comment");
  ASSERT_EQ(comments.size(), 1u);
  EXPECT_TRUE(comments[0] == comment)
      << "comment of " << comments[0].size() << " bytes, not " << comment.size();
}

// Logs made of nothing but structure: no block has a readable header, so the
// history is empty, and never more records than separators.
TEST_F(HostileHistoryTest, LogsOfSeparatorsOnly) {
  const struct {
    const char* name;
    std::string line;
  } kCases[] = {
      {"separators", kSeparator + "\n"},
      {"separator and revision x", kSeparator + "\nrevision x\n"},
      {"separator, revision and empty date", kSeparator + "\nrevision 1.1\ndate:\n"},
      {"separator and closing line", kSeparator + "\n" + kClosing + "\n"},
  };
  TempDir work;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string log;
    while (log.size() < 4 * static_cast<std::size_t>(kMegabyte)) log += c.line;
    WriteFile(work / "seps.log", log);
    Measured run = RunMeasured({"4", "OutputFile=" + work / "seps.log"});
    ParsedXml doc = ParseXml(run.result.out);
    ExpectBounded(run, 1, MemoryLimit(static_cast<long>(log.size()), 6), doc);
    EXPECT_EQ(doc.TextsOf("Record").size(), 0u);
    EXPECT_EQ(doc.TextsOf("History").size(), 1u);
  }
}

// ---------------------------------------------------------------------------
// Arguments.

std::string FirstText(const ParsedXml& doc, const std::string& tag) {
  std::vector<std::string> texts = doc.TextsOf(tag);
  return texts.empty() ? std::string("<no " + tag + ">") : texts.front();
}

// A path of 64 KB, as one name or as many short ones: the file system
// refuses both (a name is at most 255 bytes, a path 4 KB), and each command
// answers "no" instead of failing.
TEST(HostileArgumentsTest, PathOf64Kilobytes) {
  TempDir repo;
  Shell("mkdir -p " + repo / "proj");
  std::string oneName(64 * 1024, 'n');
  std::string manyNames;
  while (manyNames.size() < 64 * 1024) manyNames += "segment/";
  manyNames.pop_back();

  for (const std::string* longPath : {&oneName, &manyNames}) {
    for (bool asRoot : {true, false}) {
      SCOPED_TRACE(std::string(longPath == &oneName ? "one name" : "many names") +
                   (asRoot ? " as PathToRep" : " as PathInRep"));
      const std::string root = asRoot ? repo.path() + "/" + *longPath : repo.path();
      const std::string inRep = asRoot ? "proj" : "proj/" + *longPath;
      const std::vector<std::string> paths{"PathToRep=" + root, "PathInRep=" + inRep};
      auto run = [&](const std::string& id, std::vector<std::string> extra) {
        std::vector<std::string> args{id};
        args.insert(args.end(), paths.begin(), paths.end());
        args.insert(args.end(), extra.begin(), extra.end());
        Measured measured = RunMeasured(args);
        EXPECT_EQ(measured.result.status, 1) << id << " " << measured.result.out;
        EXPECT_LT(measured.result.seconds, kSecondsLimit);
        ParsedXml doc = ParseXml(measured.result.out);
        EXPECT_TRUE(doc.wellFormed) << doc.error;
        return doc;
      };
      ParsedXml exist = run("1", {});
      EXPECT_EQ(FirstText(exist, "RepositoryExists"), asRoot ? "FALSE" : "TRUE");
      EXPECT_EQ(FirstText(exist, "PathExists"), "FALSE");
      ParsedXml children = run("5", {"Children_Type=DIRECTORY"});
      EXPECT_EQ(FirstText(children, "Success"), "FALSE");
      EXPECT_EQ(children.TextsOf("Child").size(), 0u);
      ParsedXml created = run("7", {"FolderName=new"});
      EXPECT_EQ(FirstText(created, "Created"), "FALSE");
      EXPECT_EQ(FirstText(created, "Reason"), "The specified path in repository is not invalid");
      ParsedXml properties = run("8", {});
      EXPECT_EQ(FirstText(properties, "IsFolder"), "FALSE");
    }
  }
  RunResult left = Shell("find " + repo.path() + " -mindepth 1 | wc -l");
  EXPECT_EQ(left.out, "1\n") << "only proj may exist";
}

// Each refused command line followed by 10,000 parameters that would be
// refused too: the parser stops at the first argument it refuses and says
// which and why.
TEST(HostileArgumentsTest, TenThousandParameters) {
  std::vector<std::string> refusedToo;
  for (int i = 0; i < 10000; ++i) refusedToo.push_back("Name" + std::to_string(i) + "=value");
  for (const auto& c : testing_support::RefusedCommandLines()) {
    if (c.args.empty()) continue;  // with parameters the line has an id
    SCOPED_TRACE(testing::PrintToString(c.args).substr(0, 80));
    std::vector<std::string> args = c.args;
    args.insert(args.end(), refusedToo.begin(), refusedToo.end());
    Measured run = RunMeasured(args);
    EXPECT_EQ(run.result.status, 0);
    EXPECT_LT(run.result.seconds, kSecondsLimit);
    const auto failure = testing_support::ExpectFailureDocument(run.result.out);
    EXPECT_NE(failure.message.find(c.mustMention), std::string::npos) << failure.message;
  }
  // A 64 KB name of two-byte characters is shown shortened in the message,
  // cut between characters.
  std::string longName = "a";
  while (longName.size() < 64 * 1024) longName += "\xC3\xA9";
  Measured longRun = RunMeasured({"4", longName + "=value"});
  EXPECT_EQ(longRun.result.status, 0);
  const std::string message = testing_support::ExpectFailureDocument(longRun.result.out).message;
  EXPECT_NE(message.find("\"" + longName.substr(0, 199) + "...\" is not known."), std::string::npos)
      << message;
  EXPECT_EQ(message.find(kReplacement), std::string::npos) << message;

  // Every known name, each given many times: refused at its first repeat.
  std::vector<std::string> args{"4"};
  const char* const kNames[] = {"OutputFile", "Encoding",   "PathToRep",
                                "PathInRep",  "FolderName", "Children_Type"};
  for (int i = 0; i < 10000; ++i) args.push_back(std::string(kNames[i % 6]) + "=x");
  Measured run = RunMeasured(args);
  EXPECT_EQ(run.result.status, 0);
  const std::string twice = testing_support::ExpectFailureDocument(run.result.out).message;
  EXPECT_NE(twice.find("The parameter \"OutputFile\" is given twice."), std::string::npos)
      << twice;
}

// ---------------------------------------------------------------------------
// The captured text of ids 3, 4 and 9.

// A long run of one byte (or of one short line): each NUL, invalid byte or
// Windows-1252 byte grows the text in place, so the capture stays linear
// whatever the pattern.
TEST(HostileCaptureTest, LongRunsOfOneByte) {
  TempDir work;
  const long size = 4 * kMegabyte;
  for (const std::string& pattern : {std::string(1, '\0'), std::string("\x80"),
                                    std::string("\xFF"), std::string("\xC3"),
                                    std::string("\xE9\r")}) {
    const std::string path = work / "run.txt";
    std::string text;
    while (text.size() < static_cast<std::size_t>(size)) text += pattern;
    WriteFile(path, text);
    for (const char* id : {"3", "4", "9"}) {
      SCOPED_TRACE(std::string("id ") + id + ", pattern " + testing::PrintToString(pattern));
      Measured run = RunMeasured({id, "OutputFile=" + path});
      Report("4 MB run of one byte", run);
      // Neither "identical" nor "differ": id 9 answers with the failure document.
      ExpectBounded(run, std::string(id) == "9" ? 0 : 1, MemoryLimit(3 * size, 3),
                    ParseXml(run.result.out));
    }
  }
}

// OutputFile naming something that would never end: this program's own
// standard output or error (a pipe the host reads) is refused at once; a
// FIFO's writer is waited for; a pipe from process substitution is read.
TEST(HostileCaptureTest, OutputFileThatWouldNeverEnd) {
  for (const char* own : {"/dev/stdout", "/dev/stderr", "/proc/self/fd/1"}) {
    SCOPED_TRACE(own);
    Measured run = RunMeasured({"9", std::string("OutputFile=") + own});
    EXPECT_EQ(run.result.status, 0);
    EXPECT_LT(run.result.seconds, kSecondsLimit);
    EXPECT_NE(FirstText(ParseXml(run.result.out), "Message").find("own standard output"),
              std::string::npos)
        << run.result.out;
  }
  TempDir work;
  const std::string binary = ShellQuote(QAMCVS_BINARY);
  const std::string fifo = ShellQuote(work / "fifo");
  const RunResult late = Shell("mkfifo " + fifo + " && { (sleep 1; echo Files differ >" + fifo +
                               ") & " + binary + " 9 OutputFile=" + fifo + "; wait; }",
                               false);
  EXPECT_NE(late.out.find("<IsDifferent>TRUE</IsDifferent>"), std::string::npos) << late.out;
  const RunResult substituted =
      Shell(binary + " 9 OutputFile=<(sleep 0.5; echo Files are identical)", false);
  EXPECT_NE(substituted.out.find("<IsDifferent>FALSE</IsDifferent>"), std::string::npos)
      << substituted.out;
}

// A file known to be over the limit is refused before it is read; a text
// whose decoded form is three times its size stays within three times its
// size in memory.
TEST(HostileCaptureTest, SizeLimitAndPeakMemory) {
  TempDir work;
  const std::string sparse = work / "sparse.log";
  Shell("truncate -s 2G " + ShellQuote(sparse));
  Measured refused = RunMeasured({"4", "OutputFile=" + sparse});
  Report("2 GiB sparse file", refused);
  ParsedXml doc = ParseXml(refused.result.out);
  ExpectBounded(refused, 0, MemoryLimit(0, 0), doc);
  EXPECT_EQ(FirstText(doc, "Message"), "The text in the file \"" + sparse +
                                           "\" named by OutputFile is too large: more than "
                                           "1 GiB is not supported.");

  // U+20AC (three bytes) for every byte but the last line's.
  const long size = 100 * kMegabyte;
  std::string text(static_cast<std::size_t>(size), '\x80');
  text += "\nFiles differ\n";
  const std::string euros = work / "euros.txt";
  WriteFile(euros, text);
  Measured run = RunMeasured({"9", "OutputFile=" + euros});
  Report("100 MB of Windows-1252 euro signs", run);
  doc = ParseXml(run.result.out);
  ExpectBounded(run, 1, MemoryLimit(size, 3), doc);
  EXPECT_EQ(FirstText(doc, "IsDifferent"), "TRUE");
}

// ---------------------------------------------------------------------------
// The repository folder.

void Touch(const std::string& path) {
  int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  ASSERT_GE(fd, 0) << path;
  ::close(fd);
}

void MakeFolder(const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path; }

void MakeLink(const std::string& target, const std::string& path) {
  ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0) << path;
}

struct Child {
  std::string name;
  bool isFolder;
  bool operator<(const Child& other) const {
    return isFolder != other.isFolder ? isFolder : name < other.name;
  }
  bool operator==(const Child& other) const {
    return name == other.name && isFolder == other.isFolder;
  }
};

std::vector<Child> ChildrenOf(const ParsedXml& doc) {
  std::vector<std::string> names = doc.TextsOf("Child");
  std::vector<std::string> flags = doc.AttributesOf("Child", "IsFolder");
  std::vector<Child> children;
  for (std::size_t i = 0; i < names.size() && i < flags.size(); ++i) {
    children.push_back({names[i], flags[i] == "TRUE"});
  }
  return children;
}

class HostileRepositoryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    repo_ = new TempDir;
    outside_ = new TempDir;
  }

  // The folder "big": kBigFolders sub-folders, then archives up to
  // kBigEntries entries. Made only by the test that reads it.
  static void MakeBigFolder() {
    MakeFolder(*repo_ / "big");
    char name[32];
    for (int i = 0; i < kBigFolders; ++i) {
      std::snprintf(name, sizeof name, "/big/d%06d", i);
      MakeFolder(repo_->path() + name);
    }
    for (int i = kBigFolders; i < kBigEntries; ++i) {
      std::snprintf(name, sizeof name, "/big/f%06d,v", i);
      Touch(repo_->path() + name);
    }
  }
  static void TearDownTestSuite() {
    delete repo_;
    delete outside_;
    repo_ = outside_ = nullptr;
  }

  static Measured Enumerate(const std::string& inRepository, bool files = true) {
    std::vector<std::string> args{"5", "PathToRep=" + repo_->path(), "PathInRep=" + inRepository};
    if (files) args.push_back("Children_Type=DIRECTORY");
    return RunMeasured(args);
  }

  static ParsedXml RunId(const std::string& id, const std::string& inRepository,
                         std::vector<std::string> extra = {}) {
    std::vector<std::string> args{id, "PathToRep=" + repo_->path(), "PathInRep=" + inRepository};
    args.insert(args.end(), extra.begin(), extra.end());
    Measured run = RunMeasured(args);
    EXPECT_EQ(run.result.status, 1) << id << " " << inRepository << ": " << run.result.out;
    EXPECT_LT(run.result.seconds, kSecondsLimit);
    ParsedXml doc = ParseXml(run.result.out);
    EXPECT_TRUE(doc.wellFormed) << doc.error;
    return doc;
  }

  static constexpr int kBigFolders = 1000;
  static constexpr int kBigEntries = 100000;
  static TempDir* repo_;
  static TempDir* outside_;
};

TempDir* HostileRepositoryTest::repo_ = nullptr;
TempDir* HostileRepositoryTest::outside_ = nullptr;

TEST_F(HostileRepositoryTest, HundredThousandEntries) {
  MakeBigFolder();
  Measured run = Enumerate("big");
  Report("enumeration, 100,000 entries", run);
  ParsedXml doc = ParseXml(run.result.out);
  ExpectBounded(run, 1, MemoryLimit(0, 0, kBigEntries, 1024), doc);
  EXPECT_EQ(FirstText(doc, "Success"), "TRUE");
  std::vector<Child> children = ChildrenOf(doc);
  ASSERT_EQ(children.size(), static_cast<std::size_t>(kBigEntries));
  EXPECT_TRUE(std::is_sorted(children.begin(), children.end(), [](const Child& a, const Child& b) {
    return a.isFolder > b.isFolder;
  })) << "folders come first";
  std::sort(children.begin(), children.end());
  char name[32];
  for (int i = 0; i < kBigEntries; ++i) {
    std::snprintf(name, sizeof name, i < kBigFolders ? "d%06d" : "f%06d", i);
    if (!(children[static_cast<std::size_t>(i)] == Child{name, i < kBigFolders})) {
      ADD_FAILURE() << "child " << i << " is " << children[static_cast<std::size_t>(i)].name
                    << ", expected " << name;
      break;
    }
  }

  Measured foldersOnly = Enumerate("big", false);
  EXPECT_EQ(foldersOnly.result.status, 1);
  EXPECT_EQ(ParseXml(foldersOnly.result.out).TextsOf("Child").size(),
            static_cast<std::size_t>(kBigFolders));
}

// Names are bytes on disk: invalid UTF-8 comes back as U+FFFD, and control
// characters XML cannot carry as U+FFFD too; tab, line feed and carriage
// return come back as they are, and markup characters are escaped.
TEST_F(HostileRepositoryTest, NamesWithInvalidBytesAndControlCharacters) {
  const std::string folder = *repo_ / "odd";
  MakeFolder(folder);
  const struct {
    std::string onDisk;
    std::string reported;
    bool isFolder;
  } kNames[] = {
      {"bad\xFF\xFE,v", std::string("bad") + kReplacement + kReplacement, false},
      {"cut\xE2\x82,v", std::string("cut") + kReplacement, false},
      {"dir\xC3", std::string("dir") + kReplacement, true},
      {"soh\x01x,v", std::string("soh") + kReplacement + "x", false},
      {"us\x1Fx,v", std::string("us") + kReplacement + "x", false},
      {"del\x7Fx,v", "del\x7Fx", false},
      {"cr\rx,v", "cr\rx", false},
      {"lf\nx,v", "lf\nx", false},
      {"tab\tx,v", "tab\tx", false},
      {"end]]>x,v", "end]]>x", false},
      {"amp&x;,v", "amp&x;", false},
      {"lt<x>,v", "lt<x>", false},
      {"lf\ndir", "lf\ndir", true},
      {"\xEF\xBF\xBE,v", kReplacement, false},  // U+FFFE is no XML character
  };
  std::vector<Child> expected;
  for (const auto& entry : kNames) {
    if (entry.isFolder) {
      MakeFolder(folder + "/" + entry.onDisk);
    } else {
      Touch(folder + "/" + entry.onDisk);
    }
    expected.push_back({entry.reported, entry.isFolder});
  }
  Measured run = Enumerate("odd");
  EXPECT_EQ(run.result.status, 1);
  ParsedXml doc = ParseXml(run.result.out);
  ASSERT_TRUE(doc.wellFormed) << doc.error << "\n" << run.result.out;
  std::vector<Child> children = ChildrenOf(doc);
  std::sort(children.begin(), children.end());
  std::sort(expected.begin(), expected.end());
  ASSERT_EQ(children.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(children[i].name, expected[i].name);
    EXPECT_EQ(children[i].isFolder, expected[i].isFolder) << expected[i].name;
  }

  // Valid UTF-8 with control characters reaches the file system unchanged.
  for (const char* name : {"soh\x01x", "cr\rx", "lf\nx", "end]]>x", "amp&x;"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(FirstText(RunId("1", std::string("odd/") + name), "PathExists"), "TRUE");
    EXPECT_EQ(FirstText(RunId("8", std::string("odd/") + name), "IsFolder"), "FALSE");
  }
  EXPECT_EQ(FirstText(RunId("8", "odd/lf\ndir"), "IsFolder"), "TRUE");
  ParsedXml created = RunId("7", "odd/lf\ndir", {"FolderName=new\x01<&>"});
  EXPECT_EQ(FirstText(created, "Created"), "TRUE");
  struct stat info;
  EXPECT_EQ(::stat((folder + "/lf\ndir/new\x01<&>").c_str(), &info), 0);
}

// Links in the folder being enumerated or tested. A link is followed as the
// file system follows it (cvs does the same): a link to a folder outside the
// repository is a folder, a loop or a dangling link is no folder and no
// versioned file; nothing loops for ever.
TEST_F(HostileRepositoryTest, SymbolicLinks) {
  const std::string folder = *repo_ / "links";
  MakeFolder(folder);
  MakeFolder(*outside_ / "elsewhere");
  Touch(*outside_ / "archive,v");
  MakeLink("self", folder + "/self");
  MakeLink("ping", folder + "/pong");
  MakeLink("pong", folder + "/ping");
  MakeLink(*outside_ / "elsewhere", folder + "/out");
  MakeLink(*outside_ / "archive,v", folder + "/outfile,v");
  MakeLink(*outside_ / "nothing", folder + "/dangling,v");
  MakeLink("..", folder + "/up");
  Touch(*outside_ / "elsewhere/there");

  Measured run = Enumerate("links");
  EXPECT_EQ(run.result.status, 1);
  EXPECT_LT(run.result.seconds, kSecondsLimit);
  ParsedXml doc = ParseXml(run.result.out);
  ASSERT_TRUE(doc.wellFormed) << doc.error;
  EXPECT_EQ(FirstText(doc, "Success"), "TRUE");
  std::vector<Child> children = ChildrenOf(doc);
  std::sort(children.begin(), children.end());
  const std::vector<Child> expected = {{"out", true},      {"up", true},    {"dangling", false},
                                       {"outfile", false}, {"ping", false}, {"pong", false},
                                       {"self", false}};
  EXPECT_TRUE(children == expected) << run.result.out;

  // Enumerating through a loop fails to read the folder; through the link out
  // of the repository it reads the folder there.
  EXPECT_EQ(FirstText(ParseXml(Enumerate("links/self").result.out), "Success"), "FALSE");
  EXPECT_EQ(FirstText(ParseXml(Enumerate("links/out").result.out), "Success"), "TRUE");

  const struct {
    const char* path;
    const char* exists;
    const char* isFolder;
  } kTests[] = {
      {"links/self", "FALSE", "FALSE"},     {"links/ping", "FALSE", "FALSE"},
      {"links/out", "TRUE", "TRUE"},        {"links/outfile", "TRUE", "FALSE"},
      {"links/dangling", "FALSE", "FALSE"}, {"links/self/x", "FALSE", "FALSE"},
  };
  for (const auto& t : kTests) {
    SCOPED_TRACE(t.path);
    ParsedXml exist = RunId("1", t.path);
    EXPECT_EQ(FirstText(exist, "RepositoryExists"), "TRUE");
    EXPECT_EQ(FirstText(exist, "PathExists"), t.exists);
    EXPECT_EQ(FirstText(RunId("8", t.path), "IsFolder"), t.isFolder);
  }

  // A loop as the parent: the creation fails with a reason. A link as the
  // new name: something is there already. The folder made always lies
  // beneath the repository with every link resolved: a link that stays
  // inside is followed, one that leads out is refused as ".." is, whether it
  // is in PathInRep or in FolderName.
  const struct {
    const char* parent;
    const char* name;
    const char* created;
    const char* reason;
  } kCreations[] = {
      {"links/self", "new", "FALSE", "The specified path in repository is not invalid"},
      {"links/ping", "new", "FALSE", "The specified path in repository is not invalid"},
      {"links", "self", "FALSE", "A folder by that name already exists."},
      {"links", "dangling,v", "FALSE", "A folder by that name already exists."},
      {"links/out", "new", "FALSE", "The specified path in repository is not invalid"},
      {"links", "out/new", "FALSE", "The specified path in repository is not invalid"},
      {"links/out", "there", "FALSE", "The specified path in repository is not invalid"},
      {"links/up", "made-through-up", "TRUE", "The operation succeded"},
      {"links/absolute", "made-through-absolute", "TRUE", "The operation succeded"},
      {"links", "up/links/made-through-up-twice", "TRUE", "The operation succeded"},
  };
  MakeLink(folder, folder + "/absolute");  // an absolute link that stays inside
  for (const auto& c : kCreations) {
    SCOPED_TRACE(std::string(c.parent) + " " + c.name);
    ParsedXml created = RunId("7", c.parent, {std::string("FolderName=") + c.name});
    EXPECT_EQ(FirstText(created, "Created"), c.created);
    std::vector<std::string> reasons = created.TextsOf("Reason");
    EXPECT_EQ(reasons.empty() ? "" : reasons.front(), c.reason);
  }
  struct stat info;
  EXPECT_NE(::stat((*outside_ / "elsewhere/new").c_str(), &info), 0) << "made outside";
  EXPECT_EQ(::stat((*repo_ / "made-through-up").c_str(), &info), 0);
  EXPECT_EQ(::stat((*repo_ / "links/made-through-up-twice").c_str(), &info), 0);
  EXPECT_EQ(::stat((folder + "/made-through-absolute").c_str(), &info), 0);
}

// A folder of PathInRep swapped for a link out of the repository while
// creations run: every folder made lies inside. The runs must meet both the
// folder and the link, or the race was never run.
TEST_F(HostileRepositoryTest, FolderSwappedForALinkDuringCreations) {
  const std::string swap = *repo_ / "swap";
  MakeFolder(swap);
  MakeFolder(*outside_ / "target");
  const std::string swapper = "cd " + ShellQuote(swap) +
                              " && while :; do rm -rf a; mkdir a; rm -rf a; ln -s " +
                              ShellQuote(*outside_ / "target") + " a; done";
  const RunResult started = Shell("(" + swapper + ") >/dev/null 2>&1 & echo $!");
  const std::string pid = started.out.substr(0, started.out.find('\n'));
  ASSERT_FALSE(pid.empty());
  int created = 0;
  int refused = 0;  // the link was in place
  for (int i = 0; i < 200 || created == 0 || refused == 0; ++i) {
    ASSERT_LT(i, 2000) << created << " made, " << refused << " refused: the swap never met a run";
    RunResult run = testing_support::RunQamcvs(
        {"7", "PathToRep=" + repo_->path(), "PathInRep=swap/a", "FolderName=n" + std::to_string(i)},
        "", kHardKillSeconds);
    EXPECT_EQ(run.status, 1) << run.out;
    const std::vector<std::string> reason = ParseXml(run.out).TextsOf("Reason");
    created += reason == std::vector<std::string>{"The operation succeded"} ? 1 : 0;
    refused +=
        reason == std::vector<std::string>{"The specified path in repository is not invalid"} ? 1 : 0;
  }
  Shell("kill " + pid + "; wait " + pid + " 2>/dev/null; true");
  EXPECT_EQ(Shell("ls -A " + ShellQuote(*outside_ / "target")).out, "")
      << "folders were made outside the repository";
  std::printf("[ measure  ] %d creations found the folder in place, %d the link\n", created,
              refused);
}

// Two creations of one folder at the same moment: one makes it, the other
// finds it, whichever of the existence test or the creation it loses.
TEST_F(HostileRepositoryTest, SimultaneousCreationsOfOneFolder) {
  MakeFolder(*repo_ / "race");
  const std::string run = ShellQuote(QAMCVS_BINARY) +
                          " 7 PathToRep=" + ShellQuote(repo_->path()) +
                          " PathInRep=race FolderName=r$i";
  const RunResult pairs =
      Shell("for i in $(seq 150); do " + run + " & " + run + " & wait; done");
  int madeCount = 0, existsCount = 0, otherCount = 0;
  for (std::size_t at = 0, end; (end = pairs.out.find('\n', at)) != std::string::npos;
       at = end + 1) {
    const std::string line = pairs.out.substr(at, end - at);
    if (line.find("<Created>TRUE</Created><Reason>The operation succeded<") != std::string::npos) {
      ++madeCount;
    } else if (line.find("<Created>FALSE</Created><Reason>A folder by that name already exists.<") !=
               std::string::npos) {
      ++existsCount;
    } else {
      ++otherCount;
      ADD_FAILURE() << line;
    }
  }
  EXPECT_EQ(madeCount, 150);
  EXPECT_EQ(existsCount, 150);
  EXPECT_EQ(otherCount, 0);
}

// A repository root that is itself a loop or a link out of the tree.
TEST_F(HostileRepositoryTest, RootIsALink) {
  TempDir links;
  MakeLink("root", links / "root");
  MakeLink(repo_->path(), links / "alias");
  for (const std::string id : {"1", "5", "8"}) {
    SCOPED_TRACE(id);
    Measured loop = RunMeasured({id, "PathToRep=" + links / "root", "PathInRep=x"});
    EXPECT_EQ(loop.result.status, 1);
    ParsedXml doc = ParseXml(loop.result.out);
    EXPECT_TRUE(doc.wellFormed) << doc.error;
    EXPECT_EQ(loop.result.out.find(">TRUE<"), std::string::npos) << loop.result.out;
  }
  MakeFolder(*repo_ / "inside");
  Measured alias = RunMeasured({"1", "PathToRep=" + links / "alias", "PathInRep=inside"});
  EXPECT_EQ(FirstText(ParseXml(alias.result.out), "PathExists"), "TRUE");
  // Folder creation resolves links beneath the root, the root itself as given.
  Measured madeThroughAlias = RunMeasured(
      {"7", "PathToRep=" + links / "alias", "PathInRep=inside", "FolderName=through-alias"});
  EXPECT_EQ(FirstText(ParseXml(madeThroughAlias.result.out), "Created"), "TRUE");
  Measured inLoop =
      RunMeasured({"7", "PathToRep=" + links / "root", "PathInRep=x", "FolderName=y"});
  EXPECT_EQ(FirstText(ParseXml(inLoop.result.out), "Reason"),
            "The specified path in repository is not invalid");
}

}  // namespace
