#pragma once
// The in-process steps of the county benchmark (those no command-line command covers).

namespace vestronia::bench {

// Runs the step named by argv[2] ("evidenta" or "monthly") on the installation argv[3];
// returns the process exit code (2 for a malformed step line).
int runStep(int argc, char **argv);

} // namespace vestronia::bench
