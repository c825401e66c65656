// The program akui: the client's main routine.
#include "client/app/startup.h"

int main(int argc, char **argv)
{
  return akui_main(argc, argv);
}
