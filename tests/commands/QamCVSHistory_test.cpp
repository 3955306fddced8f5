// The history command on logs printed by the real cvs, cvs rlog and rlog,
// on hand-written logs of formats those tools no longer print (CVSNT, cvs
// 1.11), and on the real binary.
#include "QamCVSHistory.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "support/cvs_fixture.h"
#include "support/test_support.h"

using testing_support::CvsFixture;
using testing_support::ParseXml;
using testing_support::RunQamcvs;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

struct Record {
  std::string revision, author, dateTime, comment;
  bool operator==(const Record& other) const {
    return revision == other.revision && author == other.author &&
           dateTime == other.dateTime && comment == other.comment;
  }
};

void PrintTo(const Record& r, std::ostream* os) {
  *os << "{" << r.revision << " | " << r.author << " | " << r.dateTime << " | \"" << r.comment
      << "\"}";
}

std::vector<Record> RecordsOfDocument(const std::string& document) {
  auto xml = ParseXml(document);
  EXPECT_TRUE(xml.wellFormed) << xml.error << "\n" << document;
  auto revisions = xml.TextsOf("Revision");
  auto authors = xml.TextsOf("Author");
  auto dateTimes = xml.TextsOf("DateTime");
  auto comments = xml.TextsOf("Comment");
  EXPECT_EQ(xml.TextsOf("Record").size(), revisions.size());
  std::vector<Record> records;
  for (std::size_t i = 0; i < revisions.size(); ++i) {
    records.push_back({revisions[i], authors.at(i), dateTimes.at(i), comments.at(i)});
  }
  return records;
}

// The records the command hands to its base for a log text, read back from
// the rendered document.
std::vector<Record> HistoryOf(const std::string& logText, const std::string& encoding = "") {
  return RecordsOfDocument(testing_support::DocumentForText<QamCVSHistory>(logText, encoding));
}

using testing_support::WithCrLf;

// UTF-8 text whose characters all lie below U+0100, as ISO-8859-1 bytes.
std::string ToLatin1(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      EXPECT_TRUE(c == 0xC2 || c == 0xC3) << "not Latin-1";
      out += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
    }
  }
  return out;
}

// The date of each revision as the archive stores it (Y.M.D.h.m.s), printed
// the way cvs 1.12 ("2024-01-02 03:04:05 +0000") or rlog ("2024/01/02 03:04:05") does.
std::map<std::string, std::string> ArchiveDates(const std::string& archive, bool cvsStyle) {
  // Each revision's admin entry reads "\nREV\ndate\tYYYY.MM.DD.hh.mm.ss;".
  std::string text = testing_support::ReadFile(archive);
  std::map<std::string, std::string> dates;
  const std::string marker = "\ndate\t";
  for (std::size_t at = text.find(marker); at != std::string::npos;
       at = text.find(marker, at + 1)) {
    std::size_t lineStart = text.rfind('\n', at - 1) + 1;
    std::string revision = text.substr(lineStart, at - lineStart);
    std::string stamp = text.substr(at + marker.size(), 19);  // YYYY.MM.DD.hh.mm.ss
    if (stamp.size() < 19 || stamp[4] != '.') continue;
    std::string sep = cvsStyle ? "-" : "/";
    dates[revision] = stamp.substr(0, 4) + sep + stamp.substr(5, 2) + sep + stamp.substr(8, 2) +
                      " " + stamp.substr(11, 2) + ":" + stamp.substr(14, 2) + ":" +
                      stamp.substr(17, 2) + (cvsStyle ? " +0000" : "");
  }
  return dates;
}

const char kTrunkMessage[] =
    "  Parser: keep <tags> & \"quotes\" 'apos' intact\n"
    "Gr\u00fc\u00dfe aus K\u00f6ln, caf\u00e9, \u00a35 \u00b11\n"
    "branches: 1.9;\n"
    "lines: +1 -1\n"
    "locked by: mallory;\n"
    "\n"
    "after a blank line";

const char kBranchMessage[] =
    "On the feature branch \u2014 \u2713 \u65e5\u672c\u8a9e \U0001F600\n"
    "----------------------------\n"
    "not a revision line\n"
    "---------------------------\n"
    "-----------------------------\n"
    "=============================================================================\n"
    "after a line of 77 equals signs\n"
    "======\n"
    "----------------------------";

const char kEmptyLog[] = "*** empty log message ***";

// (revision, author, comment) oldest first, as the command must hand them over.
using Expected = std::vector<std::vector<std::string>>;

const Expected kMainRecords = {
    {"1.2.2.1", "carol", kBranchMessage},
    {"1.1.1.1", "alice", "Initial import of the vendor sources"},
    {"1.1", "alice", "Initial revision"},
    {"1.2", "bob", kTrunkMessage},
    {"1.3", "alice", kEmptyLog},
};
const Expected kGoneRecords = {
    {"1.1.1.1", "alice", "Initial import of the vendor sources"},
    {"1.1", "alice", "Initial revision"},
    {"1.2", "bob", kTrunkMessage},
    {"1.3", "alice", kEmptyLog},  // state dead
};
const std::string kLongAuthor(300, 'x');
const char kLongRevision[] = "1.2.2.1.4.3.6.1";
const Expected kOddRecords = {
    {kLongRevision, "eve", "deep in the branches"},
    {"1.2.2.1.4.1", "eve", "one"},
    {"1.2.2.1.4.2", "eve", "two"},
    {"1.2.2.1.4.3", "eve", "three"},
    {"1.2.2.1", "eve", "on a branch"},
    {"1.1", "dave", "first revision\n  indented second line"},
    {"1.2", kLongAuthor, "long author"},
    {"1.3", "\u00e9mile", "third"},
    {"1.4", "dave", ""},
};

// Comment text that looks like header lines: a first line that begins with
// "branches:", and a separator line followed by a line that begins with
// "revision ". Neither is a header line by its whole syntax.
const char kMarkerMessage[] =
    "branches: none yet, the plan is below\n"
    "----------------------------\n"
    "revision 2 of the plan keeps the trunk";

const Expected kMarkerRecords = {
    {"1.1.1.1", "alice", "Initial import"},
    {"1.1", "alice", "Initial revision"},
    {"1.2", "bob", kMarkerMessage},
};
const Expected kDescribedRecords = {
    {"1.1.1.1", "alice", "Initial import"},
    {"1.1", "alice", "Initial revision"},
    {"1.2", "bob", "newest"},
};

class BinaryHistoryRealLogTest : public ::testing::Test {
 protected:
  struct Log {
    std::string name;
    std::string text;
    std::string archive;
    bool cvsStyle;
    const Expected* expected;
  };

  static void SetUpTestSuite() {
    fixture_ = new CvsFixture;
    CvsFixture& cvs = *fixture_;
    cvs.Import("mod", {{"main.c", "int main;\n"}, {"gone.txt", "bye\n"}},
               "Initial import of the vendor sources", "alice");
    std::string wc = cvs.Checkout("mod");
    WriteFile(wc + "/main.c", "int main;\nint two;\n");
    WriteFile(wc + "/gone.txt", "bye\nbye\n");
    cvs.Commit(wc, {"main.c", "gone.txt"}, kTrunkMessage, "bob");
    cvs.Cvs(wc, {"tag", "-b", "feature", "main.c"});
    cvs.Cvs(wc, {"update", "-r", "feature", "main.c"});
    WriteFile(wc + "/main.c", "int main;\nint branch;\n");
    cvs.Commit(wc, {"main.c"}, kBranchMessage, "carol");
    cvs.Cvs(wc, {"update", "-A", "main.c"});
    WriteFile(wc + "/main.c", "int main;\nint two;\nint three;\n");
    cvs.Cvs(wc, {"remove", "-f", "gone.txt"});
    cvs.Commit(wc, {"main.c", "gone.txt"}, "", "alice");
    // A lock on a revision that has a lines count and a branches line.
    testing_support::RunIn("/", "mallory", {"rcs", "-q", "-l1.2", cvs.Archive("mod/main.c")});

    // A long and odd history straight with rcs's ci.
    std::string work = cvs.Scratch("odd.txt");
    using testing_support::RcsCheckIn;
    RcsCheckIn(work, "1\n", "", "dave", "2024/01/02 03:04:05",
               "first revision\n  indented second line");
    RcsCheckIn(work, "2\n", "", kLongAuthor, "2024/01/03 03:04:05", "long author");
    RcsCheckIn(work, "3\n", "", "\u00e9mile", "2024/01/04 03:04:05", "third");
    RcsCheckIn(work, "4\n", "", "dave", "2024/01/05 03:04:05", "MAKE-ME-EMPTY");
    RcsCheckIn(work, "b\n", "1.2.2", "eve", "2024/02/01 00:00:01", "on a branch");
    RcsCheckIn(work, "c\n", "1.2.2.1.4", "eve", "2024/02/02 00:00:02", "one");
    RcsCheckIn(work, "d\n", "1.2.2.1.4", "eve", "2024/02/03 00:00:03", "two");
    RcsCheckIn(work, "e\n", "1.2.2.1.4", "eve", "2024/02/04 00:00:04", "three");
    RcsCheckIn(work, "f\n", "1.2.2.1.4.3.6", "eve", "2024/02/05 00:00:05",
               "deep in the branches");
    testing_support::RunIn("/", "zed", {"rcs", "-q", "-l1.1", "-l1.2", work + ",v"});
    // rcs never stores an empty message (it writes "*** empty log message
    // ***"); other tools do, and rlog then prints an empty line.
    std::string archive = testing_support::ReadFile(work + ",v");
    std::size_t at = archive.find("log\n@MAKE-ME-EMPTY\n@");
    ASSERT_NE(at, std::string::npos);
    archive.replace(at, 20, "log\n@\n@");
    WriteFile(work + ",v", archive);
    WriteFile(cvs.Archive("mod/odd.txt"), archive);

    MakeFaultFiles(cvs);

    logs_ = new std::vector<Log>{
        {"main cvs log", cvs.Log(wc, {"main.c"}), cvs.Archive("mod/main.c"), true, &kMainRecords},
        {"main cvs rlog", cvs.RLog("mod/main.c"), cvs.Archive("mod/main.c"), true, &kMainRecords},
        {"main rlog", testing_support::RcsLog(cvs.Archive("mod/main.c")),
         cvs.Archive("mod/main.c"), false, &kMainRecords},
        {"gone cvs rlog", cvs.RLog("mod/gone.txt"), cvs.Archive("mod/Attic/gone.txt"), true,
         &kGoneRecords},
        {"gone rlog", testing_support::RcsLog(cvs.Archive("mod/Attic/gone.txt")),
         cvs.Archive("mod/Attic/gone.txt"), false, &kGoneRecords},
        {"odd cvs rlog", cvs.RLog("mod/odd.txt"), work + ",v", true, &kOddRecords},
        {"odd rlog", testing_support::RcsLog(work + ",v"), work + ",v", false, &kOddRecords},
    };
  }

  static void TearDownTestSuite() {
    delete logs_;
    delete pastedRecords_;
    delete fixture_;
  }

  // Files of the module "faults", whose messages hold text shaped like a log.
  static void MakeFaultFiles(CvsFixture& cvs) {
    cvs.Import("faults", {{"marker.c", "1\n"}, {"described.c", "1\n"}, {"pasted.c", "1\n"}},
               "Initial import", "alice");
    faultsCopy_ = new std::string(cvs.Checkout("faults"));
    const std::string& wc = *faultsCopy_;
    WriteFile(wc + "/marker.c", "2\n");
    WriteFile(wc + "/described.c", "2\n");
    cvs.Commit(wc, {"marker.c"}, kMarkerMessage, "bob");
    cvs.Commit(wc, {"described.c"}, "newest", "bob");
    // cvs prints a description as stored: without a final line feed, the
    // separator before the newest revision follows it on the same line.
    std::string archive = testing_support::ReadFile(cvs.Archive("faults/described.c"));
    std::size_t at = archive.find("\ndesc\n@@");
    ASSERT_NE(at, std::string::npos);
    archive.replace(at, 9, "\ndesc\n@This is an example file description.@");
    WriteFile(cvs.Archive("faults/described.c"), archive);
    // A message holding the whole log of another file, its revision
    // numbers the same as this file's.
    std::string pasted = "Merged the fix from marker.c, whose log was:\n" +
                         cvs.RLog("faults/marker.c");
    WriteFile(wc + "/pasted.c", "2\n");
    cvs.Commit(wc, {"pasted.c"}, pasted, "bob");
    WriteFile(wc + "/pasted.c", "3\n");
    cvs.Commit(wc, {"pasted.c"}, "after the paste", "carol");
    while (!pasted.empty() && pasted.back() == '\n') pasted.pop_back();
    pastedRecords_ = new Expected{{"1.1.1.1", "alice", "Initial import"},
                                  {"1.1", "alice", "Initial revision"},
                                  {"1.2", "bob", pasted},
                                  {"1.3", "carol", "after the paste"}};
  }

  // What cvs log, cvs rlog and rlog print for a file of the module "faults".
  static std::vector<Log> FaultLogs(const std::string& name, const Expected* expected) {
    CvsFixture& cvs = *fixture_;
    std::string archive = cvs.Archive("faults/" + name);
    return {{name + " cvs log", cvs.Log(*faultsCopy_, {name}), archive, true, expected},
            {name + " cvs rlog", cvs.RLog("faults/" + name), archive, true, expected},
            {name + " rlog", testing_support::RcsLog(archive), archive, false, expected}};
  }

  // White space before a comment (the trunk message's indentation) is not
  // part of it; every line after that is.
  static std::vector<Record> ExpectedRecords(const Log& log) {
    auto dates = ArchiveDates(log.archive, log.cvsStyle);
    std::vector<Record> records;
    for (const auto& e : *log.expected) {
      std::string comment = e[2].substr(std::min(e[2].size(), e[2].find_first_not_of(" \t\n")));
      records.push_back({e[0], e[1], dates[e[0]], comment});
    }
    return records;
  }

  static CvsFixture* fixture_;
  static std::vector<Log>* logs_;
  static std::string* faultsCopy_;  // a working copy of the module "faults"
  static Expected* pastedRecords_;
};

CvsFixture* BinaryHistoryRealLogTest::fixture_ = nullptr;
std::vector<BinaryHistoryRealLogTest::Log>* BinaryHistoryRealLogTest::logs_ = nullptr;
std::string* BinaryHistoryRealLogTest::faultsCopy_ = nullptr;
Expected* BinaryHistoryRealLogTest::pastedRecords_ = nullptr;

// A comment's first line that begins with "branches:" is comment text, and
// so is a separator line followed by a line that begins with "revision ":
// header lines are known by their whole syntax.
TEST_F(BinaryHistoryRealLogTest, CommentLinesThatBeginLikeHeaderLinesStayInTheComment) {
  for (const Log& log : FaultLogs("marker.c", &kMarkerRecords)) {
    SCOPED_TRACE(log.name + ":\n" + log.text);
    EXPECT_EQ(HistoryOf(log.text), ExpectedRecords(log));
  }
}

// The newest revision follows a description without a final line feed on
// the description's line (cvs log, cvs rlog; rlog adds the line feed).
TEST_F(BinaryHistoryRealLogTest, NewestRevisionAfterADescriptionWithoutLineFeed) {
  for (const Log& log : FaultLogs("described.c", &kDescribedRecords)) {
    SCOPED_TRACE(log.name + ":\n" + log.text);
    EXPECT_EQ(HistoryOf(log.text), ExpectedRecords(log));
    EXPECT_EQ(HistoryOf(WithCrLf(log.text)), ExpectedRecords(log)) << "CRLF copy";
  }
}

// The header counts the revision blocks: a log pasted into a message adds
// no record and stays in the comment that holds it.
TEST_F(BinaryHistoryRealLogTest, LogPastedIntoAMessageStaysInItsComment) {
  for (const Log& log : FaultLogs("pasted.c", pastedRecords_)) {
    SCOPED_TRACE(log.name + ":\n" + log.text);
    EXPECT_EQ(HistoryOf(log.text), ExpectedRecords(log));
  }
}

TEST_F(BinaryHistoryRealLogTest, EveryRevisionIsOneCorrectRecordInOrder) {
  for (const Log& log : *logs_) {
    SCOPED_TRACE(log.name + ":\n" + log.text);
    auto expected = ExpectedRecords(log);
    EXPECT_EQ(HistoryOf(log.text), expected);
    EXPECT_EQ(HistoryOf(WithCrLf(log.text)), expected) << "CRLF copy";
  }
}

TEST_F(BinaryHistoryRealLogTest, Latin1CopyGivesTheSameRecords) {
  for (const Log& log : *logs_) {
    if (log.expected != &kGoneRecords) continue;
    SCOPED_TRACE(log.name);
    EXPECT_EQ(HistoryOf(ToLatin1(log.text), "ISO-8859-1"), ExpectedRecords(log));
  }
}

TEST_F(BinaryHistoryRealLogTest, SeveralFilesGiveTheHistoryOfTheFirst) {
  // cvs rlog of the module prints the logs of main.c, odd.txt and
  // Attic/gone.txt one after the other.
  std::string text = fixture_->RLog("mod");
  std::size_t first = text.find("RCS file: ");
  ASSERT_NE(first, std::string::npos) << text;
  std::string firstArchive = text.substr(first + 10, text.find('\n', first) - first - 10);
  int files = 0;
  for (std::size_t at = 0; (at = text.find("RCS file: ", at)) != std::string::npos; ++at) ++files;
  EXPECT_EQ(files, 3) << text;
  for (const Log& log : *logs_) {
    if (log.archive != firstArchive || !log.cvsStyle) continue;
    EXPECT_EQ(HistoryOf(text), ExpectedRecords(log)) << text;
    return;
  }
  ADD_FAILURE() << "no expected records for " << firstArchive;
}

TEST_F(BinaryHistoryRealLogTest, BinaryPrintsTheHistoryFromStandardInputAndFromAFile) {
  const Log& log = (*logs_)[0];
  auto fromStdin = RunQamcvs({"4", "OutputFile=-"}, log.text);
  EXPECT_EQ(fromStdin.status, 1) << fromStdin.err;
  EXPECT_EQ(RecordsOfDocument(fromStdin.out), ExpectedRecords(log));
  EXPECT_EQ(fromStdin.out.find("&amp;amp;"), std::string::npos) << "escaped twice";

  TempDir dir;
  WriteFile(dir / "log", log.text);
  auto fromFile = RunQamcvs({"4", "OutputFile=" + (dir / "log")});
  EXPECT_EQ(fromFile.status, 1) << fromFile.err;
  EXPECT_EQ(fromFile.out, fromStdin.out);
}

std::vector<Record> DataLog(const std::string& name) {
  return HistoryOf(testing_support::ReadFile(std::string(QAMCVS_SOURCE_DIR) +
                                             "/tests/data/history/" + name));
}

TEST(HistoryTest, CvsntDateLineFieldsAreNotComment) {
  std::vector<Record> expected = {
      {"1.2.2.1", "DOMAIN\\tony", "2007/06/11 18:02:11", "Fix the <greeting> & the \"quotes\"."},
      {"1.1", "jsmith", "2007/06/10 08:00:00", "Initial revision"},
      {"1.2", "jsmith", "2007/06/11 17:40:55",
       "Print a greeting.\nSecond line: lines: +9 -9 is only text here."},
      {"1.3", "Administrator", "2007/06/12 09:14:03", "Merged the fix from the branch."},
  };
  EXPECT_EQ(DataLog("cvsnt.log"), expected);
}

TEST(HistoryTest, Cvs111SlashDatesLocksAndEmptyComments) {
  std::vector<Record> expected = {
      {"1.1.1.1", "alice", "2004/05/01 10:00:00", "Imported sources"},
      {"1.1", "alice", "2004/05/01 10:00:00", "Initial revision"},
      {"1.2", "bob", "2004/05/05 09:00:01", ""},
      {"1.3", "alice", "2004/05/06 12:34:56", "Fixed the parser.\nSecond line."},
  };
  auto text = testing_support::ReadFile(std::string(QAMCVS_SOURCE_DIR) +
                                        "/tests/data/history/cvs111.log");
  EXPECT_EQ(HistoryOf(text), expected);
  EXPECT_EQ(HistoryOf(WithCrLf(text)), expected);
}

// Log texts around one or more revision blocks, and the revisions (oldest
// first) that must come out of them.
TEST(HistoryTest, SplittingFindsExactlyTheRevisionBlocksOfTheFirstFile) {
  const std::string sep = "----------------------------\n";
  const std::string end = "=============================================================================\n";
  auto block = [](const std::string& rev, const std::string& comment) {
    return "revision " + rev + "\ndate: 2024/01/01 00:00:00;  author: a;  state: Exp;\n" +
           comment + "\n";
  };
  const std::string head = "RCS file: x,v\nhead: 1.3\ndescription:\n";
  auto counted = [](const std::string& countLine) {
    return "RCS file: x,v\nhead: 1.3\n" + countLine + "\ndescription:\n";
  };
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::string> revisions;
  };
  const Case cases[] = {
      {"empty text", "", {}},
      {"tool error", "cvs log: nothing known about x\n", {}},
      {"header only", head + end, {}},
      {"one block", head + sep + block("1.1", "c") + end, {"1.1"}},
      {"three blocks", head + sep + block("1.3", "c") + sep + block("1.2", "c") + sep +
                           block("1.1", "c") + end,
       {"1.1", "1.2", "1.3"}},
      {"no closing line", head + sep + block("1.2", "c") + sep + block("1.1", "c"), {"1.1", "1.2"}},
      {"text after the closing line", head + sep + block("1.1", "c") + end + "revision 9.9\n",
       {"1.1"}},
      {"two separators in a row", head + sep + sep + block("1.1", "c") + end, {"1.1"}},
      {"separator at the very end", head + sep + block("1.1", "c") + sep, {"1.1"}},
      {"first file without revisions", head + end + "\n" + head + sep + block("1.1", "c") + end,
       {}},
      {"two files", head + sep + block("1.2", "c") + end + "\n" + head + sep + block("7.1", "c") + end,
       {"1.2"}},
      {"middle entry unreadable",
       head + sep + block("1.3", "c") + sep + "revision 1.2\ndate: broken\n" + sep +
           block("1.1", "c") + end,
       {"1.1", "1.3"}},
      {"revision without number", head + sep + "revision \ndate: 2024/01/01 00:00:00;  author: a;  state: Exp;\n" + end, {}},
      // A header that counts the blocks bounds them.
      {"no more blocks than selected",
       counted("total revisions: 5;\tselected revisions: 2") + sep + block("1.3", "c") + sep +
           block("1.2", "c") + sep + block("1.1", "c") + end,
       {"1.2", "1.3"}},
      {"a revision number once", counted("total revisions: 3") + sep + block("1.2", "c") + sep +
                                     block("1.2", "c") + sep + block("1.1", "c") + end,
       {"1.1", "1.2"}},
      {"a comment line beginning with RCS file: is no pasted log",
       counted("total revisions: 2") + sep + block("1.2", "c\nRCS file: named here") + sep +
           block("1.1", "c") + end,
       {"1.1", "1.2"}},
      // A trimmed whole-module log: the first file counts a revision but
      // prints none; its closing line ends its log.
      {"first file counting a block it does not print",
       counted("total revisions: 1;\tselected revisions: 1") + end + "\n" + head + sep +
           block("7.2", "c") + sep + block("7.1", "c") + end,
       {}},
      {"first file counting a block it does not print, at the end of the text",
       counted("total revisions: 1;\tselected revisions: 1") + end, {}},
      // Blocks pasted without a header into two messages: no reading with
      // the pasted text in one message keeps as many blocks, so the first
      // reading (the pasted 1.2 and 1.1 taken) stays rather than losing
      // two revisions into a comment.
      {"blocks pasted into two messages",
       counted("total revisions: 5") + sep + block("1.5", "c") + sep + block("1.2", "p") + sep +
           block("1.4", "c") + sep + block("1.3", "c") + sep + block("1.1", "p") + sep +
           block("1.2", "c") + sep + block("1.1", "c") + end,
       {"1.1", "1.3", "1.4", "1.2", "1.5"}},
      {"logs of two files pasted into the last block",
       counted("total revisions: 2") + sep + block("1.2", "c") + sep + block("1.1", "pasted:\n" +
           head + sep + block("1.1", "a") + end + "\n" + head + sep + block("1.1", "b") + end) + end +
           "\n" + head + sep + block("7.1", "c") + end,
       {"1.1", "1.2"}},
  };
  for (const Case& c : cases) {
    for (const std::string& text : {c.text, WithCrLf(c.text)}) {
      std::vector<std::string> revisions;
      for (const Record& r : HistoryOf(text)) revisions.push_back(r.revision);
      EXPECT_EQ(revisions, c.revisions) << c.what << (text == c.text ? "" : ", CRLF copy");
    }
  }
  // A log with fewer blocks than it counts still ends at its closing line.
  auto shortLog = HistoryOf(counted("total revisions: 5") + sep + block("1.1", "c") + end + "\n" +
                            head + sep + block("7.1", "c") + end);
  EXPECT_EQ(shortLog, (std::vector<Record>{{"1.1", "a", "2024/01/01 00:00:00", "c"}}));
}

// Old projects pasted cvs log excerpts into messages without their "RCS
// file:" header. The header's count, the order cvs prints revisions in
// (the trunk from the head down) and the closing line after the last real
// block tell the real separators from the pasted ones.
TEST(HistoryTest, LogPastedWithoutItsHeaderStaysInTheMessageThatHoldsIt) {
  const std::string sep = "----------------------------\n";
  auto block = [](const std::string& rev, const std::string& author, const std::string& comment) {
    return "revision " + rev + "\ndate: 2024/01/01 00:00:00;  author: " + author +
           ";  state: Exp;\n" + comment + "\n";
  };
  auto pasted = [&](const std::vector<std::string>& numbers) {
    std::string text = "Merged the branch; its log was:\n";
    for (const std::string& n : numbers) text += sep + block(n, "old", "old " + n);
    return text + sep + "and after the log\n" + sep + block("1.2", "old", "again") + sep + sep;
  };
  const std::string head =
      "RCS file: x,v\nhead: 1.3\ntotal revisions: 3;\tselected revisions: 3\ndescription:\n";
  for (const auto& numbers : std::vector<std::vector<std::string>>{
           {"1.6", "1.4", "1.3", "1.2", "1.1"},  // another file's numbers
           {"1.3", "1.2", "1.1"},                // the same numbers as the real ones
       }) {
    std::string message = pasted(numbers);
    std::string text = head + sep + block("1.3", "carol", "third") + sep +
                       block("1.2", "bob", message) + sep + block("1.1", "alice", "first") +
                       "=============================================================================\n";
    message.erase(message.find_last_not_of('\n') + 1);
    const std::vector<Record> expected = {
        {"1.1", "alice", "2024/01/01 00:00:00", "first"},
        {"1.2", "bob", "2024/01/01 00:00:00", message},
        {"1.3", "carol", "2024/01/01 00:00:00", "third"},
    };
    EXPECT_EQ(HistoryOf(text), expected) << numbers.front();
    EXPECT_EQ(HistoryOf(WithCrLf(text)), expected) << numbers.front() << ", CRLF copy";
  }
}

const char kNulBlock[] =
    "revision 1.1\ndate: 2024/01/01 00:00:00;  author: a;  state: Exp;\nbefore\0after\n";

TEST(HistoryTest, HeaderFieldsComeThroughWholeAndTheCommentExactly) {
  const std::string head = "description:\n----------------------------\n";
  const std::string end = "=============================================================================\n";
  struct Case {
    const char* what;
    std::string block;
    Record expected;
  };
  const Case cases[] = {
      {"several blanks between date and time",
       "revision 1.2\ndate: 2004/05/06   12:34:56;  author: alice;  state: Exp;  lines: +3 -1\nx\n",
       {"1.2", "alice", "2004/05/06 12:34:56", "x"}},
      {"nothing after the date line",
       "revision 1.1\ndate: 2004/05/06 12:34:56;  author: alice;  state: Exp;\n",
       {"1.1", "alice", "2004/05/06 12:34:56", ""}},
      {"branches line with the commit id (rlog 5.10)",
       "revision 1.2\ndate: 2024/01/01 00:00:00;  author: a;  state: Exp;  lines: +1 -0\n"
       "branches:  1.2.2;; commitid: 10065F1B2C3D4E5F6A7\nwhole\ncomment\n\n\n",
       {"1.2", "a", "2024/01/01 00:00:00", "whole\ncomment"}},
      {"locked without lines",
       "revision 1.1\tlocked by: a-very-long-lock-holder-name;\n"
       "date: 2024/01/01 00:00:00;  author: a;  state: Exp;\nc\n",
       {"1.1", "a", "2024/01/01 00:00:00", "c"}},
      // CVSNT prints each extra field as "  name: value;" with the value
      // as stored: a list of bug ids or a Windows file name may hold ";".
      {"CVSNT fields whose values hold semicolons",
       "revision 1.22\ndate: 2009/10/26 14:27:12;  author: tma;  state: Exp;  lines: +1 -0;  "
       "kopt: kv;  commitid: 2c364ae5b1c0e8fd;  mergepoint: 1.21.2.1;  filename: a;b.cs;  "
       "bugid: 1234;5678;\nseveral bugids (bug 1234;5678)\n",
       {"1.22", "tma", "2009/10/26 14:27:12", "several bugids (bug 1234;5678)"}},
      {"comment holding a NUL byte",
       std::string(kNulBlock, sizeof kNulBlock - 1),
       {"1.1", "a", "2024/01/01 00:00:00", "before\uFFFDafter"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HistoryOf(head + c.block + end), std::vector<Record>{c.expected}) << c.what;
    EXPECT_EQ(HistoryOf(WithCrLf(head + c.block + end)), std::vector<Record>{c.expected})
        << c.what << ", CRLF copy";
  }
}

// Found by fuzzing: a carriage return that is not part of a CR LF pair
// reached the author, the time and the comment.
TEST(HistoryTest, LoneCarriageReturnsEndLinesAndReachNoValue) {
  const std::string head = "RCS file: x,v\nhead: 1.2\ndescription:\n";
  const std::string sep = "----------------------------\n";
  std::string log = head + sep +
                    "revision 1.2\ndate: 2024/01/02 03:04:05;  author: alice;  state: Exp;"
                    "  lines: +1 -1\nline one\rline two\r" +
                    sep + "revision 1.1\ndate: 2024/01/01 03:04:05;  author: ali\rce;  state: Exp;\n"
                    "first\n=============================================================================\n";
  auto records = HistoryOf(log);
  for (const Record& r : records) {
    for (const std::string* value : {&r.revision, &r.author, &r.dateTime, &r.comment}) {
      EXPECT_EQ(value->find('\r'), std::string::npos) << "in " << r.revision;
    }
  }
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back(), (Record{"1.2", "alice", "2024/01/02 03:04:05", "line one\nline two"}));
  EXPECT_EQ(HistoryOf(WithCrLf(log)), records);
}

TEST(HistoryTest, ParseEntryPastTheEndLeavesTheValuesAlone) {
  TempDir dir;
  WriteFile(dir / "log",
            "----------------------------\nrevision 1.1\n"
            "date: 2024/01/01 00:00:00;  author: a;  state: Exp;\nc\n");
  QamInputParams params = testing_support::ToolTextParams(dir / "log");
  QamCVSHistory history(params);
  ASSERT_EQ(history.Entries().size(), 1u);
  I18NString revision("r"), author("a"), dateTime("d"), comment("c");
  EXPECT_FALSE(history.ParseEntry(1, revision, author, dateTime, comment));
  EXPECT_EQ(revision, "r");
  EXPECT_EQ(comment, "c");
  EXPECT_TRUE(history.ParseEntry(0, revision, author, dateTime, comment));
  EXPECT_EQ(revision, "1.1");
}

TEST(HistoryTest, BinaryGivesTheFailureDocumentForAMissingOrUnreadableOutputFile) {
  auto missing = RunQamcvs({"4"});
  EXPECT_EQ(missing.status, 0);
  EXPECT_NE(testing_support::ExpectFailureDocument(missing.out).message.find("OutputFile"),
            std::string::npos);

  auto unreadable = RunQamcvs({"4", "OutputFile=/nonexistent/history.log"});
  EXPECT_EQ(unreadable.status, 0);
  const auto failure = testing_support::ExpectFailureDocument(unreadable.out);
  EXPECT_TRUE(failure.xml.TextsOf("Record").empty());
  EXPECT_NE(failure.message.find("/nonexistent/history.log"), std::string::npos);
}

}  // namespace
