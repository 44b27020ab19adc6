#include <gtest/gtest.h>

#include "pdf/objects/vxPDFObjects.h"

using namespace vx;

TEST(ObjectModel, placeholder) { EXPECT_EQ(TvxPDFNullObject().TypeName(), "Null Object"); }
