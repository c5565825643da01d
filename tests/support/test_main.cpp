// SPDX-License-Identifier: GPL-3.0-or-later
// gtest main for every test program: a headless QApplication, so widget
// tests and core tests run the same way under ctest and by hand.
#include <QApplication>
#include <QLocale>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        // A private folder in the build tree: a fixed name in the shared /tmp
        // could have been made by someone else first.
        const QByteArray dir = MERIDAN_BINARY_DIR "/runtime";
        mkdir(dir.constData(), 0700);
        chmod(dir.constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", dir);
    }
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    return RUN_ALL_TESTS();
}
