#pragma once

#include <string>
#include <vector>

namespace koravel::app {

// What the arguments ask for. Texts are UTF-8.
struct Options {
    enum class Action { Menu, Scan, List, Help, Version };
    Action action = Action::Help;
    std::string division;  // for Scan, as typed
    bool save = false;
    bool json = false;
    std::string usageError;  // set when the arguments make no sense
};

// The arguments without the program's name (the window is for none at all).
Options ParseOptions(const std::vector<std::string>& arguments);

// The help text, with its final line end.
const std::string& HelpText();

}  // namespace koravel::app
