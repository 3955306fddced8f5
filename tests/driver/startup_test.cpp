// Start-up stays light: the program must not load the network stack that
// Debian's shared Xerces-C library is linked with.
#include <gtest/gtest.h>

#include "support/test_support.h"


using testing_support::RunQamcvs;

TEST(StartupTest, NetworkStackIsNotLoaded) {
#ifndef QAM_STATIC_XERCES
  GTEST_SKIP() << "built against the shared Xerces-C library (QAM_STATIC_XERCES=OFF)";
#else
  if (testing_support::TestingWindowsBuild()) {
    GTEST_SKIP() << "the Windows build links no network stack (scripts/windows.sh lists its DLLs)";
  }
  auto libraries = testing_support::Run({"ldd", QAMCVS_BINARY});
  ASSERT_EQ(libraries.status, 0) << libraries.err;
  for (const char* unwanted : {"libcurl", "libgnutls", "libxerces", "libkrb5", "libldap"}) {
    EXPECT_EQ(libraries.out.find(unwanted), std::string::npos)
        << unwanted << " is linked:\n" << libraries.out;
  }
  // The XML platform still starts: a command renders its document.
  auto result = RunQamcvs({"8", "PathToRep=/", "PathInRep=tmp"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("<IsFolder>TRUE</IsFolder>"), std::string::npos) << result.out;
#endif
}
