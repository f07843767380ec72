#pragma once

#include <optional>

namespace tarvesk {

// `tarvesk --message TEXT`: the launcher's refusals reach a user who started
// Tarvesk from a menu, where no terminal shows standard error. TEXT is shown
// in the usual "Tarvesk" box with OK (without a display it goes to standard
// error), and the status to exit with is returned: 1, since whoever asked
// was refused. Nothing when the command line asks for something else.
std::optional<int> ShowMessageOption(int argc, char* argv[]);

}  // namespace tarvesk
