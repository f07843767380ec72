#pragma once

#include "platform/character_type.h"

namespace tarvesk {

// What Qt takes from the environment alone, once, when the application object
// is made, asked for around that moment and taken back out after it, since
// the recovery commands inherit the environment the program was started with.
// Construct it before the application object and call restore() after.
//
// - A UTF-8 character type where no locale is set (see Utf8CharacterType).
// - With `ownEventLoop`, and unless the operator chose otherwise, Qt's own
//   event loop rather than glib's: it costs less per turn, and only the
//   integration with a desktop needs glib's.
class ToolkitEnvironment {
public:
    explicit ToolkitEnvironment(bool ownEventLoop);
    ~ToolkitEnvironment() { restore(); }
    ToolkitEnvironment(const ToolkitEnvironment&) = delete;
    ToolkitEnvironment& operator=(const ToolkitEnvironment&) = delete;

    void restore();

private:
    Utf8CharacterType m_characterType;
    bool m_ownEventLoop = false;
};

}  // namespace tarvesk
