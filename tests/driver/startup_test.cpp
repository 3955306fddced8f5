// Start-up stays light: the program must not load the network stack that
// Debian's shared Xerces-C library is linked with, and starts only the part
// of Xerces-C that writing needs.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "support/test_support.h"


using testing_support::RunQamcvs;

TEST(BinaryStartupTest, NetworkStackIsNotLoaded) {
#ifndef QAM_STATIC_XERCES
  GTEST_SKIP() << "built against the shared Xerces-C library (QAM_STATIC_XERCES=OFF)";
#else
  if (testing_support::TestingWindowsBuild()) {
    GTEST_SKIP() << "the Windows build links no network stack (scripts/windows.sh lists its DLLs)";
  }
  auto libraries = testing_support::Run({"ldd", QAMCVS_BINARY});
  // A statically linked program loads no shared library at all.
  const bool isStatic = (libraries.out + libraries.err).find("not a dynamic executable") !=
                        std::string::npos;
  ASSERT_TRUE(libraries.status == 0 || isStatic) << libraries.out << libraries.err;
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

// qamcvs starts only Xerces-C's core. A feature left out (a parser, the
// DOM, regular expressions) must not run on tables that were never built:
// its first use dies on a null pointer before it can print anything.
TEST(BinaryStartupTest, UnstartedXmlFeaturesFailLoudly) {
#ifndef XML_CORE_PROBE
  GTEST_SKIP() << "built against the shared Xerces-C library, which starts everything";
#else
  for (const char* feature : {"parser", "dom", "regex"}) {
    SCOPED_TRACE(feature);
    auto result = testing_support::Run({XML_CORE_PROBE, feature}, "", 60);
    // AddressSanitizer reports the fault itself and exits with 1.
    bool faulted = result.status == 128 + SIGSEGV ||
                   (result.status != 0 && result.err.find("SEGV") != std::string::npos);
    EXPECT_TRUE(faulted) << "status " << result.status << "\n" << result.out << result.err;
    EXPECT_EQ(result.out, std::string("reached ") + feature + "\n");
  }
#endif
}
