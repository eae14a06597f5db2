// telvora-textwindow: a window with one text field that holds the given text, fully
// selected and focused, so that a desktop test has a real application in front whose
// selection a make-call press must capture. Identifies as "telvora-textwindow" (WM_CLASS).
//
//   telvora-textwindow [TEXT]
#include <QApplication>
#include <QLineEdit>

#include <cstdio>

int main(int argc, char** argv)
{
    // WM_CLASS and the X selections are what the tests look at: always X11.
    qputenv("QT_QPA_PLATFORM", "xcb");
    // Qt takes WM_CLASS's class from the application name and its instance from argv[0].
    QCoreApplication::setApplicationName("telvora-textwindow");
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QString text = arguments.size() > 1 ? arguments.at(1) : QStringLiteral("+49 89 1234-5678");

    QLineEdit field(text);
    field.setWindowTitle(QStringLiteral("Telvora text window"));
    field.resize(360, 48);
    field.show();
    field.activateWindow();
    field.setFocus();
    field.selectAll();
    // Whenever the window comes to the front again its whole text is selected once more.
    QObject::connect(&app, &QGuiApplication::applicationStateChanged, &field, [&](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive) return;
        field.setFocus();
        field.selectAll();
        std::printf("active 0x%llx\n", static_cast<unsigned long long>(field.winId()));
        std::fflush(stdout);
    });
    return app.exec();
}
