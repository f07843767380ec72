#pragma once

#include <optional>
#include <string>

namespace tarvesk {

// Qt needs a UTF-8 character type and warns on standard error when the
// environment gives none (a service started with no locale at all). Where no
// locale is set at all (LC_ALL, LC_CTYPE and LANG empty, "C" or "POSIX"),
// this asks for C.UTF-8 for the character type alone, for the toolkit's
// set-up; dates, numbers and messages keep the locale the system gave.
// Construct it before QApplication and call restore() after, so that the
// commands Tarvesk starts inherit the environment it was started with.
class Utf8CharacterType {
public:
    Utf8CharacterType();
    ~Utf8CharacterType() { restore(); }
    Utf8CharacterType(const Utf8CharacterType&) = delete;
    Utf8CharacterType& operator=(const Utf8CharacterType&) = delete;

    bool chosen() const { return m_chosen; }
    // Puts LC_CTYPE back as it was; the process keeps the character type it
    // set up with.
    void restore();

private:
    bool m_chosen = false;
    std::optional<std::string> m_previous;  // LC_CTYPE as it came ("C", say)
};

}  // namespace tarvesk
