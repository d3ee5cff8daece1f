#pragma once

#include <optional>

namespace koravel::app {

// `koravel` with arguments works without a window or display: it never creates the GUI
// application. Returns the exit status, or nullopt when there are no arguments and the
// window is wanted.
std::optional<int> RunCommandLine(int argc, char* argv[]);

}  // namespace koravel::app
