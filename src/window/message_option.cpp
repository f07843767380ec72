#include "window/message_option.h"

#include <QApplication>
#include <QString>

#include <cstring>

#include "platform/display_environment.h"
#include "platform/standard_error_prompt.h"
#include "window/message_box_prompt.h"

namespace tarvesk {

std::optional<int> ShowMessageOption(int argc, char* argv[]) {
    if (argc < 2 || std::strcmp(argv[1], "--message") != 0) return std::nullopt;
    constexpr int kRefused = 1;
    const QString text = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (NoDisplayInEnvironment()) {
        StandardErrorPrompt::Say(text, false);
        return kRefused;
    }
    // The toolkit is given the program's name alone, so that it reads no option into the text.
    int count = 1;
    QApplication app(count, argv);
    MessageBoxPrompt prompt;
    prompt.inform(text);
    return kRefused;
}

}  // namespace tarvesk
