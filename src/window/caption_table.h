#pragma once

#include <vector>

namespace tarvesk {

// One captioned control and its caption in each language. The window itself is
// named "MainWindow".
struct CaptionRow {
    const char* control;
    const char* english;
    const char* chinese;
};

// The 39 captions, in the order in which the language switch sets them. The
// status line is not among them: its text, "ready" included, is the engine's.
const std::vector<CaptionRow>& CaptionTable();

}  // namespace tarvesk
