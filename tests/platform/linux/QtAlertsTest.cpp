// Qt message boxes as alerts, on Qt's offscreen platform: the box is found and answered from
// a timer while runModal waits in its nested loop.
#include "foundation/DispatchQueue.h"
#include "foundation/MainRunLoop.h"
#include "platform/linux/QtAlerts.h"
#include "platform/linux/QtMainRunLoop.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcutEvent>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <utility>

namespace tvi {
namespace {

QApplication* application = nullptr;

void installQtLoop()
{
    static int argc = 1;
    static char name[] = "QtAlertsTest";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!application) application = QtMainRunLoop::installWithApplication(argc, argv).release();
}

std::shared_ptr<QtAlerts> makeAlerts()
{
    installQtLoop();
    std::string why;
    auto alerts = QtAlerts::create(why);
    EXPECT_TRUE(alerts) << why;
    return alerts;
}

// Runs `inspect` on the shown box once runModal has shown it.
void whenShown(std::function<void(QMessageBox&)> inspect)
{
    QTimer::singleShot(0, [inspect = std::move(inspect)] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            ADD_FAILURE() << "no message box is shown";
            QApplication::exit(); // never hang: leaves the nested loop
            return;
        }
        inspect(*box);
    });
}

void press(QWidget& widget, int key)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&widget, &down);
    // The key event made Qt's keyboard device, whose static list must outlive the application:
    // registered after it, this runs before it at exit.
    static const int cleanup = std::atexit([] { delete std::exchange(application, nullptr); });
    (void)cleanup;
}

// The buttons' titles, left to right as shown.
std::vector<std::string> titlesLeftToRight(QMessageBox& box)
{
    std::vector<QAbstractButton*> buttons;
    for (QAbstractButton* button : box.buttons()) buttons.push_back(button);
    std::sort(buttons.begin(), buttons.end(), [&](QAbstractButton* a, QAbstractButton* b) {
        return a->mapTo(&box, QPoint()).x() < b->mapTo(&box, QPoint()).x();
    });
    std::vector<std::string> titles;
    for (QAbstractButton* button : buttons) titles.push_back(button->text().toStdString());
    return titles;
}

TEST(QtAlertsTest, ButtonsKeepTheirOrderAndReturnAnswersTheFirstWithTheCheckBox)
{
    auto alerts = makeAlerts();
    Alert alert;
    alert.alertStyle = AlertStyle::Critical;
    alert.messageText = "The key combination Ctrl+F5 cannot be used";
    alert.informativeText = "It is taken.";
    alert.buttons = {"Replace", "Keep", "Later"};
    alert.showsSuppressionButton = true;
    whenShown([](QMessageBox& box) {
        EXPECT_EQ(box.windowTitle().toStdString(), "Telvora"); // the application's name
        EXPECT_EQ(box.icon(), QMessageBox::Critical);
        EXPECT_EQ(box.text().toStdString(), "The key combination Ctrl+F5 cannot be used");
        EXPECT_EQ(box.informativeText().toStdString(), "It is taken.");
        box.show();
        EXPECT_EQ(titlesLeftToRight(box), (std::vector<std::string>{"Replace", "Keep", "Later"}));
        ASSERT_TRUE(box.defaultButton());
        EXPECT_EQ(box.defaultButton()->text().toStdString(), "Replace");
        ASSERT_TRUE(box.checkBox());
        EXPECT_EQ(box.checkBox()->text().toStdString(), "&Do not show this message again");
        // Escape does nothing without a "Cancel" among several buttons.
        press(box, Qt::Key_Escape);
        EXPECT_TRUE(box.isVisible());
        // Alt+D ticks the box at once: Return typed right after it finds it ticked.
        QShortcutEvent mnemonic(QKeySequence(Qt::ALT | Qt::Key_D), 0);
        QApplication::sendEvent(box.checkBox(), &mnemonic);
        press(box, Qt::Key_Return);
    });
    EXPECT_EQ(alerts->runModal(alert), (AlertResponse{0, true}));
}

TEST(QtAlertsTest, EscapeAnswersCancelAndAnAlertWithoutButtonsGetsOk)
{
    auto alerts = makeAlerts();
    Alert alert;
    alert.buttons = {"Send", "Cancel"};
    alert.showsSuppressionButton = true;
    alert.suppressionButtonTitle = "Always send";
    whenShown([](QMessageBox& box) {
        EXPECT_EQ(box.icon(), QMessageBox::Warning);
        EXPECT_EQ(box.checkBox()->text().toStdString(), "&Always send");
        press(box, Qt::Key_Escape);
    });
    EXPECT_EQ(alerts->runModal(alert), (AlertResponse{1, false}));

    whenShown([](QMessageBox& box) {
        EXPECT_EQ(titlesLeftToRight(box), (std::vector<std::string>{"OK"}));
        EXPECT_FALSE(box.checkBox());
        press(box, Qt::Key_Escape); // the only button is also the escape
    });
    EXPECT_EQ(alerts->runModal(Alert{}), (AlertResponse{0, false}));
}

// Shown from a Qt event (a window's handler), not from a main-queue task: the nested loop
// still runs no task; the ones queued meanwhile run after the alert, in order.
TEST(QtAlertsTest, TasksQueuedDuringAnAlertShownOutsideAnyTaskWaitForIt)
{
    auto alerts = makeAlerts();
    std::vector<std::string> order;
    QTimer::singleShot(0, [&] {
        whenShown([&](QMessageBox& box) {
            DispatchQueue::main()->async([&] { order.push_back("task"); });
            QTimer::singleShot(50, &box, [&box] { press(box, Qt::Key_Return); });
        });
        alerts->runModal(Alert{});
        order.push_back("alert dismissed");
        DispatchQueue::main()->async([] { MainRunLoop::shared().stop(); });
    });
    MainRunLoop::shared().run();
    EXPECT_EQ(order, (std::vector<std::string>{"alert dismissed", "task"}));
}

}
}
