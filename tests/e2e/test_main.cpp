// Test main of the end-to-end suite: a private home, and an application object on the display for the
// screenshots.
#include "tests/support/test_process.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
  return run_test_process(argc, argv, [](int &args, char **argv_left) {
    QGuiApplication app(args, argv_left);
    return RUN_ALL_TESTS();
  });
}
