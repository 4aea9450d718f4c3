#pragma once

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <QVariantMap>

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
#if defined(_WIN32)
        // The registry has no folder to move: the program's key is emptied for the test
        // and what it held comes back after it.
        QSettings key(QStringLiteral("Kovalmeret"), QStringLiteral("Vantrel"));
        for (const QString& name : key.allKeys())
            m_saved.insert(name, key.value(name));
        key.clear();
#endif
    }
    ~ScopedSettings()
    {
#if defined(_WIN32)
        QSettings key(QStringLiteral("Kovalmeret"), QStringLiteral("Vantrel"));
        key.clear();
        for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it)
            key.setValue(it.key(), it.value());
#endif
    }
    ScopedSettings(const ScopedSettings&) = delete;
    ScopedSettings& operator=(const ScopedSettings&) = delete;
    QString Dir() const
    {
        return m_dir->path();
    }
    QString ConfFile() const
    {
        return m_dir->path() + QStringLiteral("/Kovalmeret/Vantrel.conf");
    }
    // A file in the folder by the program's own string for its name (a code page 932 one
    // on Windows too).
    std::string File(const std::string& name) const
    {
        return QDir::toNativeSeparators(m_dir->path()).toStdString() + QDir::separator().toLatin1() + name;
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QVariantMap m_saved;
};

// Where the settings live on Windows: the registry key the program's documentation names.
inline constexpr char kVantrelRegistryKey[] = "HKEY_CURRENT_USER\\Software\\Kovalmeret\\Vantrel";
