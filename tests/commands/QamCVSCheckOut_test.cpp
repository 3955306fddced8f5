// Checked-out status on real rlog / cvs log headers and on hostile text.
#include "QamCVSCheckOut.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "support/cvs_fixture.h"
#include "support/test_support.h"

using testing_support::CvsFixture;
using testing_support::ParseXml;
using testing_support::RcsLog;
using testing_support::RunIn;
using testing_support::RunQamcvs;
using testing_support::WriteFile;

namespace {

struct Answer {
  std::string isCheckedOut;  // "TRUE" or "FALSE"
  std::string checkedOutBy;
};

bool operator==(const Answer& left, const Answer& right) {
  return left.isCheckedOut == right.isCheckedOut && left.checkedOutBy == right.checkedOutBy;
}

std::ostream& operator<<(std::ostream& out, const Answer& answer) {
  return out << answer.isCheckedOut << " by \"" << answer.checkedOutBy << "\"";
}

Answer FromDocument(const std::string& document) {
  auto xml = ParseXml(document);
  EXPECT_TRUE(xml.wellFormed) << xml.error << "\n" << document;
  auto flags = xml.TextsOf("IsCheckedOut");
  auto names = xml.TextsOf("CheckedOutBy");
  if (flags.size() != 1 || names.size() != 1) {
    ADD_FAILURE() << "not a checked-out document: " << document;
    return {};
  }
  return {flags[0], names[0]};
}

// Runs the command in this process on text, as the driver would.
Answer CheckOut(const std::string& text, const std::string& encoding = "") {
  return FromDocument(testing_support::DocumentForText<QamCVSCheckOut>(text, encoding));
}

using testing_support::WithCrLf;

// Replaces the first "\t" + from + ":" lock line's name with to.
std::string RenameLocker(std::string text, const std::string& from, const std::string& to) {
  auto at = text.find("\t" + from + ":");
  EXPECT_NE(at, std::string::npos) << text;
  if (at != std::string::npos) text.replace(at + 1, from.size(), to);
  return text;
}

const Answer kNotCheckedOut{"FALSE", ""};

// A CVS repository with module "mod": file.txt locked at 1.1 by carol (rcs
// takes the locker from LOGNAME), free.txt not locked, and a working copy.
// Headers are captured from cvs log (working copy), cvs rlog and rlog on the
// archive.
class CheckOutRepo : public ::testing::Test {
 protected:
  void SetUp() override {
    cvs_.Import("mod", {{"file.txt", "hello\n"}, {"free.txt", "x\n"}});
    wc_ = cvs_.Checkout("mod");
    RunIn("/", user_, {"rcs", "-q", "-l1.1", archive_});
  }

  CvsFixture cvs_;
  const std::string archive_ = cvs_.Archive("mod/file.txt");
  std::string wc_;
  const std::string user_ = "carol";
};

TEST_F(CheckOutRepo, RealHeadersFromEveryToolAndTheirCrLfCopies) {
  const Answer locked{"TRUE", user_};
  // Non-strict locking: the lock is still listed, under "locks:" alone,
  // which this command does not read.
  const std::string loose = cvs_.Scratch("loose.txt,v");
  std::filesystem::copy_file(archive_, loose);
  RunIn("/", "alice", {"rcs", "-q", "-U", loose});
  struct Case {
    const char* command;
    std::string text;
    Answer expected;
  } cases[] = {
      {"cvs log file.txt", cvs_.Log(wc_, {"file.txt"}), locked},
      {"cvs log -h file.txt", cvs_.Log(wc_, {"-h", "file.txt"}), locked},
      {"cvs rlog -h mod/file.txt", cvs_.RLog("mod/file.txt", {"-h"}), locked},
      {"rlog -h file.txt,v", RcsLog(archive_, {"-h"}), locked},
      {"rlog file.txt,v", RcsLog(archive_), locked},
      {"cvs log free.txt", cvs_.Log(wc_, {"free.txt"}), kNotCheckedOut},
      {"rlog -h free.txt,v", RcsLog(cvs_.Archive("mod/free.txt"), {"-h"}), kNotCheckedOut},
      {"rlog -h of a copy with non-strict locking", RcsLog(loose, {"-h"}), kNotCheckedOut},
  };
  for (const Case& c : cases) {
    ASSERT_NE(c.text.find("access list:"), std::string::npos) << c.command << "\n" << c.text;
    EXPECT_EQ(CheckOut(c.text), c.expected) << c.command << "\n" << c.text;
    EXPECT_EQ(CheckOut(WithCrLf(c.text)), c.expected) << c.command << " (CR LF)";
  }
}

TEST_F(CheckOutRepo, OnlyTheFirstOfTwoLockersIsReported) {
  // carol holds 1.1; dave locks the vendor revision as well.
  const std::string two = cvs_.Archive("mod/two.txt");
  std::filesystem::copy_file(archive_, two);
  RunIn("/", "dave", {"rcs", "-q", "-l1.1.1.1", two});
  const std::string text = RcsLog(two, {"-h"});
  ASSERT_NE(text.find("\tcarol: 1.1\n\tdave: 1.1.1.1\n"), std::string::npos) << text;
  EXPECT_EQ(CheckOut(text), (Answer{"TRUE", "carol"}));
  EXPECT_EQ(CheckOut(WithCrLf(text)), (Answer{"TRUE", "carol"}));
}

TEST_F(CheckOutRepo, LongAndForeignNamesComeBackWhole) {
  const std::string header = RcsLog(archive_, {"-h"});
  const std::string tenKilobytes(10 * 1024, 'a');
  // 5000 two-byte characters: a cut at a byte limit would split one.
  std::string umlauts;
  for (int i = 0; i < 5000; ++i) umlauts += "\xC3\xBC";
  struct Case {
    std::string name;
    std::string expected;
  } cases[] = {
      {tenKilobytes, tenKilobytes},
      {"x" + umlauts, "x" + umlauts},
      {"j\xC3\xB6rg", "j\xC3\xB6rg"},
      {"j\xE2\x80\x83o n", "j\xE2\x80\x83on"},  // a blank inside goes, an em space stays
  };
  for (const Case& c : cases) {
    Answer answer = CheckOut(RenameLocker(header, user_, c.name));
    EXPECT_EQ(answer.isCheckedOut, "TRUE");
    EXPECT_EQ(answer.checkedOutBy.size(), c.expected.size());
    EXPECT_EQ(answer.checkedOutBy, c.expected);
  }
}

TEST(CheckOutText, HandMadeHeaders) {
  const std::string locks = "locks: strict\n";
  const std::string access = "access list:\n";
  struct Case {
    const char* what;
    std::string text;
    Answer expected;
  } cases[] = {
      {"empty text", "", kNotCheckedOut},
      {"no lock", "head: 1.1\n" + locks + access + "symbolic names:\n", kNotCheckedOut},
      {"markers but nothing after the locks line", "locks: strict", kNotCheckedOut},
      {"no access list", locks + "\talice: 1.1\n", kNotCheckedOut},
      {"lock line without a colon", locks + "\talice 1.1\n" + access, kNotCheckedOut},
      {"only blanks and tabs before the colon", locks + " \t  \t: 1.1\n" + access,
       kNotCheckedOut},
      {"one lock", locks + "\talice: 1.1\n" + access, {"TRUE", "alice"}},
      {"two locks", locks + "\talice: 1.2\n\tbob: 1.1\n" + access, {"TRUE", "alice"}},
      {"blanks inside the name", locks + "\tal ice : 1.1\n" + access, {"TRUE", "alice"}},
      // "access list:" right after the marker, in the character that is
      // skipped: the count would be -1, which reads as "to the end".
      {"access list inside the skipped line end",
       "locks: strictaccess list:\n\tmallory: 1.1\n", kNotCheckedOut},
      {"access list before the locks line",
       access + locks + "\tmallory: 1.1\n", kNotCheckedOut},
      // Two files' headers: the first with non-strict locking, the second
      // strict. The first "access list:" belongs to the first file.
      {"non-strict header followed by a strict one",
       "RCS file: a,v\nlocks:\n\tbob: 1.1\n" + access + "RCS file: b,v\n" + locks +
           "\tmallory: 1.1\n" + access,
       kNotCheckedOut},
      {"locks line ends the text with CR LF", "locks: strict\r\n", kNotCheckedOut},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckOut(c.text), c.expected) << c.what;
  }
}

TEST_F(CheckOutRepo, BinaryEndToEnd) {
  const std::string header = cvs_.Log(wc_, {"file.txt"});
  // Standard input.
  auto piped = RunQamcvs({"3", "OutputFile=-"}, header);
  EXPECT_EQ(piped.status, 1) << piped.err;
  EXPECT_EQ(FromDocument(piped.out), (Answer{"TRUE", user_}));

  // A file, unlocked.
  WriteFile(cvs_.Scratch("free.log"), cvs_.Log(wc_, {"free.txt"}));
  auto fromFile = RunQamcvs({"3", "OutputFile=" + cvs_.Scratch("free.log")});
  EXPECT_EQ(fromFile.status, 1) << fromFile.err;
  EXPECT_EQ(FromDocument(fromFile.out), kNotCheckedOut);

  // A Latin-1 user name, decoded with Encoding and written back as UTF-8.
  auto latin1 = RunQamcvs({"3", "OutputFile=-", "Encoding=ISO-8859-1"},
                          RenameLocker(header, user_, "j\xFCrgen"));
  EXPECT_EQ(latin1.status, 1) << latin1.err;
  EXPECT_EQ(FromDocument(latin1.out), (Answer{"TRUE", "j\xC3\xBCrgen"}));

  // A file that cannot be opened is a failure, not "not checked out".
  auto missing = RunQamcvs({"3", "OutputFile=" + cvs_.Scratch("nothere.log")});
  EXPECT_EQ(missing.status, 0);
  testing_support::ExpectFailureDocument(missing.out);
}

}  // namespace
