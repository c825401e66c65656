// Test main of the views suite: the shared private-folder setup around the UI suite's application object, with
// the forms library's services installed as the client's start-up does.
#include "forms/inputs/form_services.h"
#include "tests/support/test_process.h"
#include "tests/ui/app/test_app.h"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
  return run_test_process(argc, argv, [](int &app_argc, char **app_argv) {
    test_app_t app(app_argc, app_argv);
    app.create_app_wait_dialog();
    install_form_services();
    return RUN_ALL_TESTS();
  });
}
