#include "platform/standard_error_prompt.h"

#include <cstdio>

namespace tarvesk {

void StandardErrorPrompt::Say(const QString& text, bool answeredNo) {
    const QByteArray line =
        (QStringLiteral("Tarvesk: ") + text + (answeredNo ? QStringLiteral(" [answered No]") : QString()))
            .toLocal8Bit();
    std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
}

void StandardErrorPrompt::inform(const QString& text) { Say(text, false); }

bool StandardErrorPrompt::confirm(const QString& text) {
    Say(text, true);
    return false;
}

}  // namespace tarvesk
