#include "framework/cdc.h"

#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Fixtures and the settings the folder command writes go to a folder of this
    // process, never to the user's own settings, and go away with it.
    const char* base = std::getenv("VANTREL_TEST_TMP");
    const std::filesystem::path root =
        (base != nullptr ? std::filesystem::path(base) : std::filesystem::temp_directory_path()) /
        ("vantrel-view-test-" + std::to_string(QCoreApplication::applicationPid()));
    std::filesystem::create_directories(root / "config");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((root / "config").string()));
    qputenv("VANTREL_VIEW_TEST_DIR", QByteArray::fromStdString(root.string()));
    int result = 0;
    {
        QApplication app(argc, argv);
        InstallFontSubstitutions();
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return result;
}
