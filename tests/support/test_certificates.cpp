#include "support/test_certificates.h"

#include <QProcess>
#include <QStringList>

namespace tarvesk {

TestCertificates::TestCertificates(int days) {
    // Elliptic-curve keys: made in milliseconds.
    const auto openssl = [&](const QStringList& more) {
        QProcess run;
        run.setWorkingDirectory(m_dir.path());
        run.start(QStringLiteral("openssl"),
                  QStringList{"req", "-x509", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                              "-nodes", "-days", QString::number(days)} +
                      more);
        return run.waitForFinished(30000) && run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0;
    };
    m_made = m_dir.isValid() &&
             openssl({"-keyout", "ca.key", "-out", "ca.pem", "-subj", "/CN=Tarvesk test CA", "-addext",
                      "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"}) &&
             openssl({"-keyout", "server.key", "-out", "server.pem", "-subj", "/CN=localhost", "-CA", "ca.pem",
                      "-CAkey", "ca.key", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1", "-addext",
                      "basicConstraints=CA:FALSE"});
}

}  // namespace tarvesk
