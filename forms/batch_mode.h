// The process-wide batch mode of the user interface: no user interaction is possible while it is set.
#pragma once

// Set when the program runs without a user (scripted or unattended runs); off by default. Lists opened
// modally then only prepare their data and answer their default selection instead of asking. GUI thread.
extern bool batch_mode_flag;
