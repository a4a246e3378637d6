// The entry point of the table store's test programs: the standard back ends, then the tests.
#include <gtest/gtest.h>

#include "store/backends/StandardBackends.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ff::RegisterStandardBackends();
  return RUN_ALL_TESTS();
}
