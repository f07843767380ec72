#include "platform/services.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>

#include "platform/curl_http_client.h"
#include "platform/curl_smtp_transport.h"
#include "platform/detached_program_starter.h"
#include "platform/tcp_site_probe.h"

namespace tarvesk {

Services MakeCoreServices() {
    Services services;
    services.programs = std::make_shared<DetachedProgramStarter>();
    services.siteProbe = std::make_shared<TcpSiteProbe>();
    services.http = std::make_shared<CurlHttpClient>();
    services.mail = std::make_shared<CurlSmtpTransport>();
    services.now = [] { return QDateTime::currentDateTime(); };
    services.sleepOneSecond = [] { QThread::sleep(1); };
    services.yield = [] { QCoreApplication::processEvents(); };
    services.executableFolder = [] { return QCoreApplication::applicationDirPath(); };
    services.fileExists = [](const QString& path) { return QFileInfo(path).isFile(); };
    return services;
}

}  // namespace tarvesk
