#pragma once

namespace tarvesk {

// True when the environment names no display (neither DISPLAY nor
// WAYLAND_DISPLAY) and no window platform was chosen (QT_QPA_PLATFORM): a
// server without a desktop, where the window toolkit would refuse to start.
bool NoDisplayInEnvironment();

}  // namespace tarvesk
