// The command line: the window's jobs without the window.
//   xlsbridge import FILE --salesperson NAME
//   xlsbridge export FILE
//   xlsbridge template [--open]
//   xlsbridge --help
#pragma once

#include <string>
#include <vector>

namespace app {

// Runs one command; returns the process exit status (0 success, 1 failure, 2 rejected input or
// usage). Messages go to standard output, errors to standard error.
int RunCommandLine(const std::vector<std::string>& args);

// True when the arguments ask for a command rather than the window.
bool IsCommandLine(const std::vector<std::string>& args);

}  // namespace app
