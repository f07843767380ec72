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
    // Any LC_ALL outranks the LC_CTYPE asked for; a real locale in LC_CTYPE
    // or LANG is the operator's choice, and it stands.
    const char* all = std::getenv("LC_ALL");
    if ((all != nullptr && *all != '\0') || !Unset("LC_CTYPE") || !Unset("LANG")) return;
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
