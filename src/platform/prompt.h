#pragma once

#include <QString>

namespace tarvesk {

// Modal message boxes titled "Tarvesk". Tests answer them through a fake.
class Prompt {
public:
    virtual ~Prompt() = default;
    // OK-only information box.
    virtual void inform(const QString& text) = 0;
    // Yes/No box with Yes as default; true only when the answer is Yes.
    virtual bool confirm(const QString& text) = 0;
    // The language of the boxes' own buttons; Chinese exactly when "cn".
    virtual void setLanguage(const QString& language) { (void)language; }
};

}  // namespace tarvesk
