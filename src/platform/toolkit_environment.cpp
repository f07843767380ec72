#include "platform/toolkit_environment.h"

#include <QByteArray>
#include <QtGlobal>

namespace tarvesk {
namespace {

constexpr char kOwnLoop[] = "QT_NO_GLIB";

}  // namespace

ToolkitEnvironment::ToolkitEnvironment(bool ownEventLoop)
    : m_ownEventLoop(ownEventLoop && qEnvironmentVariableIsEmpty(kOwnLoop)) {
    if (m_ownEventLoop) qputenv(kOwnLoop, QByteArrayLiteral("1"));
}

void ToolkitEnvironment::restore() {
    if (m_ownEventLoop) qunsetenv(kOwnLoop);
    m_ownEventLoop = false;
    m_characterType.restore();
}

}  // namespace tarvesk
