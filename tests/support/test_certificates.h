#pragma once

#include <QString>
#include <QTemporaryDir>

namespace tarvesk {

// A certificate authority of the test's own and a certificate it signed for
// localhost and 127.0.0.1, valid from now for `days` days, made with the
// openssl command in a folder of their own.
class TestCertificates {
public:
    explicit TestCertificates(int days);
    bool isValid() const { return m_made; }
    QString caFile() const { return m_dir.filePath(QStringLiteral("ca.pem")); }
    QString certificate() const { return m_dir.filePath(QStringLiteral("server.pem")); }
    QString key() const { return m_dir.filePath(QStringLiteral("server.key")); }

private:
    QTemporaryDir m_dir;
    bool m_made = false;
};

}  // namespace tarvesk
