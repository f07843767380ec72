#include "window/window_services.h"

#include <QDesktopServices>
#include <QUrl>

#include "window/message_box_prompt.h"

namespace tarvesk {

Services MakeWindowServices() {
    Services services = MakeCoreServices();
    services.prompt = std::make_shared<MessageBoxPrompt>();
    services.openUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
    return services;
}

}  // namespace tarvesk
