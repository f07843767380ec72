#pragma once

// Helpers shared by the fuzz targets.

#include <QChar>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace tarvesk::fuzz {

// A violated property: stop here so libFuzzer keeps the input.
inline void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// The fuzz input as text, in one of three spellings chosen by its first byte,
// so that every UTF-16 unit (lone surrogates, fullwidth digits, NBSP) can turn
// up.
inline QString DecodeText(const uint8_t* data, size_t size) {
    if (size == 0) return QString();
    const char* text = reinterpret_cast<const char*>(data + 1);
    const qsizetype n = static_cast<qsizetype>(size - 1);
    switch (data[0] % 3) {
    case 0:
        return QString::fromLatin1(text, n);
    case 1:
        return QString::fromUtf8(text, n);
    default: {
        QString s;
        for (qsizetype i = 0; i + 1 < n; i += 2)
            s.append(QChar(static_cast<char16_t>((static_cast<uint8_t>(text[i]) << 8) |
                                                 static_cast<uint8_t>(text[i + 1]))));
        return s;
    }
    }
}

}  // namespace tarvesk::fuzz
