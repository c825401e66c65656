// Test main shared by every suite without an application object of its own.
#include "tests/support/test_process.h"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
  return run_test_process(argc, argv, [](int &, char **) { return RUN_ALL_TESTS(); });
}
