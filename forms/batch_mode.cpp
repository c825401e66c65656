// The process-wide batch mode of the user interface.
#include "forms/batch_mode.h"

bool batch_mode_flag = false;
