// Test main of the UI suite: the shared private-folder setup around one application object.
#include "tests/support/test_process.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
  return run_test_process(argc, argv, [](int &app_argc, char **app_argv) {
    QApplication app(app_argc, app_argv);
    return RUN_ALL_TESTS();
  });
}
