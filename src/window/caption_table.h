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

// The 40 captions, in the order in which the language switch sets them.
const std::vector<CaptionRow>& CaptionTable();

}  // namespace tarvesk
