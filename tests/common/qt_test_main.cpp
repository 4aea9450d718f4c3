#include "framework/cdc.h"
#include "app/vantrel_app.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Test discovery runs the binary outside ctest's environment too.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InitShellResources();
    InstallFontSubstitutions();

    // No test may read or write the user's own settings.
    const QString base = qEnvironmentVariableIsEmpty("VANTREL_TEST_TMP")
                             ? QDir::tempPath()
                             : QString::fromLocal8Bit(qgetenv("VANTREL_TEST_TMP"));
    QDir().mkpath(base);
    QTemporaryDir settingsDir(base + QStringLiteral("/settings-XXXXXX"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());

    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
