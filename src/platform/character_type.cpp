#include "platform/character_type.h"

#include <cstdlib>
#include <cstring>

namespace tarvesk {
namespace {

bool Unset(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr || *value == '\0' || std::strcmp(value, "C") == 0 || std::strcmp(value, "POSIX") == 0;
}

}  // namespace

Utf8CharacterType::Utf8CharacterType() {
    // LC_ALL outranks LC_CTYPE, which outranks LANG: with any of them naming
    // a real locale the operator chose, that choice stands.
    if (!Unset("LC_ALL") || !Unset("LC_CTYPE") || !Unset("LANG")) return;
    // An explicit LC_ALL=C would override the character type asked for.
    if (std::getenv("LC_ALL") != nullptr && *std::getenv("LC_ALL") != '\0') return;
    if (const char* previous = std::getenv("LC_CTYPE")) m_previous = previous;
    m_chosen = ::setenv("LC_CTYPE", "C.UTF-8", 1) == 0;
}

void Utf8CharacterType::restore() {
    if (!m_chosen) return;
    if (m_previous) {
        ::setenv("LC_CTYPE", m_previous->c_str(), 1);
    } else {
        ::unsetenv("LC_CTYPE");
    }
    m_chosen = false;
}

}  // namespace tarvesk
