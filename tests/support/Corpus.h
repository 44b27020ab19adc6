// The first line of a test that reads the corpus: where the corpus is not
// there, the test is skipped with one line that says so (and fails under CI).
#pragma once

#include <gtest/gtest.h>

#include "support/PdfBuilder.h"

#define VX_NEEDS_CORPUS()                                                   \
  do {                                                                      \
    if (const std::string missing = vxtest::CorpusMissing(); !missing.empty()) { \
      if (vxtest::UnderCi()) FAIL() << missing;                             \
      GTEST_SKIP() << missing;                                              \
    }                                                                       \
  } while (0)
