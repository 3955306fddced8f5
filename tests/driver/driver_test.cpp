// The driver's outcome table, on the real binary.
#include <gtest/gtest.h>

#include "support/test_support.h"

using testing_support::ParseXml;
using testing_support::RunQamcvs;

TEST(DriverTest, IdsWithoutCommandPrintNothingAndExitZero) {
  for (const char* id : {"2", "6", "0", "-1", "10", "+2", "2147483647", "-2147483648"}) {
    auto result = RunQamcvs({id});
    EXPECT_EQ(result.status, 0) << id;
    EXPECT_EQ(result.out, "") << id;
  }
}

TEST(DriverTest, RejectedCommandLinePrintsFailureDocument) {
  auto result = RunQamcvs({"abc"});
  EXPECT_EQ(result.status, 0);
  auto xml = ParseXml(result.out);
  ASSERT_TRUE(xml.wellFormed) << xml.error << "\n" << result.out;
  EXPECT_EQ(xml.rootName, "QAM_DOC");
  EXPECT_EQ(xml.TextsOf("Code"), std::vector<std::string>{"0x56177B77"});
  ASSERT_EQ(xml.TextsOf("Message").size(), 1u);
  EXPECT_NE(xml.TextsOf("Message")[0].find("\"abc\""), std::string::npos);
  EXPECT_EQ(result.out.back(), '\n');
}
