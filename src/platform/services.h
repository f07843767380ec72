#pragma once

#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>

#include "platform/http_client.h"
#include "platform/mail_transport.h"
#include "platform/program_starter.h"
#include "platform/prompt.h"
#include "platform/site_probe.h"

namespace tarvesk {

class Folder;

// Everything the engine and the window need from the system, in one bundle so
// that tests can swap the parts that cannot run in a test (a reboot, a
// two-minute wait, a modal box nobody can click).
struct Services {
    std::shared_ptr<Prompt> prompt;
    std::shared_ptr<ProgramStarter> programs;
    std::shared_ptr<SiteProbe> siteProbe;
    std::shared_ptr<HttpClient> http;
    std::shared_ptr<MailTransport> mail;
    std::function<QDateTime()> now;
    std::function<void()> sleepOneSecond;
    std::function<void()> yield;
    std::function<QString()> executableFolder;
    // That folder opened once by the program's start, shared with the
    // instance lock; when empty, the engine opens executableFolder() itself.
    std::shared_ptr<const Folder> programFolder;
    std::function<bool(const QString&)> fileExists;
    std::function<void(const QString&)> openUrl;
};

// The real implementations of everything that needs no widget. The prompt and
// the browser launch are left empty here; each program fills in its own.
Services MakeCoreServices();

}  // namespace tarvesk
