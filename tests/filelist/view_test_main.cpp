#include "app/cdc.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>

#include <gtest/gtest.h>

#include <filesystem>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The settings written by the folder command go to a private place, never to the
    // user's own.
    const char* base = std::getenv("VANTREL_TEST_TMP");
    const std::filesystem::path config =
        (base != nullptr ? std::filesystem::path(base) : std::filesystem::temp_directory_path()) /
        "vantrel-view-test-config";
    std::filesystem::create_directories(config);
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.string()));
    QApplication app(argc, argv);
    InstallFontSubstitutions();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
