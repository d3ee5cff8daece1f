#pragma once

#include <optional>

namespace koravel::app {

// `koravel` with arguments works without a window or display: it never creates the GUI
// application. Returns the exit status, or nullopt when the window is wanted: no
// arguments, or --menu alone.
std::optional<int> RunCommandLine(int argc, char* argv[]);

}  // namespace koravel::app
