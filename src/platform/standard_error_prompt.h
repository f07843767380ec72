#pragma once

#include <QString>

#include "platform/prompt.h"

namespace tarvesk {

// The boxes of a program that nobody can see: each text goes to standard
// error, where a service's journal keeps it, and is answered at once with the
// safe answer (OK, or No), so that nothing waits for a click that never comes.
class StandardErrorPrompt : public Prompt {
public:
    void inform(const QString& text) override;
    bool confirm(const QString& text) override;

    // Writes one box's line: "Tarvesk: <text>", with " [answered No]" after a
    // question.
    static void Say(const QString& text, bool answeredNo);
};

}  // namespace tarvesk
