#include "platform/display_environment.h"

#include <QtGlobal>

namespace tarvesk {

bool NoDisplayInEnvironment() {
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
           qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

}  // namespace tarvesk
