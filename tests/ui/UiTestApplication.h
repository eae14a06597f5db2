#pragma once

#include <QApplication>

namespace tvi::test {

// The widget tests' application on Qt's offscreen platform, made on first use and never
// destroyed: Qt's devices must not be torn down by static destructors after main.
inline QApplication& uiTestApplication()
{
    static int argc = 1;
    static char name[] = "telvora-ui-test";
    static char* argv[] = {name, nullptr};
    static QApplication* application = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *application;
}

}

// fontconfig keeps its configuration until exit on purpose; LeakSanitizer would report it.
// (Included once per test program: each is one file.)
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
