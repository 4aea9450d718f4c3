#pragma once

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>
#include <string>

// A settings store of its own for one test, under VANTREL_TEST_TMP or the temp folder.
class ScopedSettings {
public:
    ScopedSettings()
    {
        const QString base = qEnvironmentVariableIsEmpty("VANTREL_TEST_TMP")
                                 ? QDir::tempPath()
                                 : QString::fromLocal8Bit(qgetenv("VANTREL_TEST_TMP"));
        QDir().mkpath(base);
        m_dir = std::make_unique<QTemporaryDir>(base + QStringLiteral("/app-XXXXXX"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir->path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir->path());
    }
    QString Dir() const { return m_dir->path(); }
    QString ConfFile() const { return m_dir->path() + QStringLiteral("/Kovalmeret/Vantrel.conf"); }
    std::string File(const char* name) const { return (m_dir->path() + QLatin1Char('/') + QLatin1String(name)).toStdString(); }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};
