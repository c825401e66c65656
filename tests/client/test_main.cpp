// Test main of the client suite: the shared private-folder setup around a started client.
#include "tests/client/client_session.h"
#include "tests/support/test_process.h"

int main(int argc, char **argv)
{
  return run_test_process(argc, argv, run_client_session);
}
