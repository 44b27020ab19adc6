// The process-wide serial: checked in a fresh child process, because other
// tests of this binary create documents first.
#include <gtest/gtest.h>

#include "pdf/document/vxPDFDoc.h"

TEST(DocumentSerial, FirstDocumentOfAProcessIs101) {
  // Re-executes the test binary for this test alone: a fresh process.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        vx::TvxPDFDocument first;
        vx::TvxPDFDocument second;
        std::_Exit(first.DocumentID() == 101 && second.DocumentID() == 102 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
