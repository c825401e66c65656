// The body shared by every suite's test main: private folders for the process, GoogleTest, clean-up.
#pragma once

#include <functional>

// Gives the test process its own HOME, XDG_CONFIG_HOME and TMPDIR (and the offscreen Qt platform),
// initialises GoogleTest, answers what `run` answers and removes the private folders afterwards.
// `run` receives the arguments GoogleTest left, for a suite that builds an application object from
// them; it answers 2 without running `run` when the private folder cannot be made.
int run_test_process(int &argc, char **argv, const std::function<int(int &argc, char **argv)> &run);
