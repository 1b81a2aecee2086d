// The entry point of the GoogleTest programs that run on Windows: it ends the process only
// once every thread GoogleTest started is running (see threads_started.h).
#include <gtest/gtest.h>

#include "threads_started.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  hvtest::WaitForThreadsToStart();
  return result;
}
