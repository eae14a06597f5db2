// The update window on a real desktop: it comes to the front so that a key press reaches its
// default button, every answer is given once, and the download page tells sizes and cancels.
// With TELVORA_SCREENSHOT_DIR set it also saves the offer and the download page as PNGs there.
#include "DesktopTools.h"
#include "foundation/Bundle.h"
#include "ui/SUUpdateWindow.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QWindow>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QScreen>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

namespace tvi {
namespace {

using Choice = SUUserDriver::UpdateChoice;

QApplication& application()
{
    static int argc = 1;
    static char name[] = "SUUpdateWindowTest";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's devices must not be torn down by static destructors after main.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

bool processEventsUntil(const std::function<bool()>& condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 5000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void settle()
{
    processEventsUntil([start = QElapsedTimer()]() mutable {
        if (!start.isValid()) start.start();
        return start.elapsed() > 150;
    });
}

// The window manager gave `window` the keyboard focus, and kept it there a moment: it may
// still be busy with an earlier window's mapping.
bool hasKeyboard(QWidget* window)
{
    const auto focused = [window] { return QGuiApplication::focusWindow() == window->windowHandle(); };
    if (!processEventsUntil(focused)) return false;
    settle();
    return focused();
}

// A key press from outside, through the X server, as a person (or xdotool) gives it.
void pressReturn()
{
    ASSERT_EQ(test::shellOutput("xdotool key Return; echo done"), "done\n");
}

SUUserDriver::Offer offer(std::string notes, bool downloaded = false)
{
    SUUserDriver::Offer offer;
    offer.item.versionString = "200";
    offer.item.displayVersionString = "2.0";
    offer.item.releaseNotesHTML = std::move(notes);
    offer.hostVersion = "1.0";
    offer.downloaded = downloaded;
    return offer;
}

const char* const kNotes = "<h3>What's new</h3><ul><li>Calls from the address book start faster.</li>"
                           "<li>Transfer keeps the caller's number.</li></ul>"
                           "<p>Details on <a href=\"https://www.orvella.com/\">our web site</a>.</p>";

template <class T>
T* child(QDialog* window, const char* name)
{
    return window->findChild<T*>(QString::fromLatin1(name));
}

void saveScreenshot(QDialog* window, const char* file)
{
    const char* folder = std::getenv("TELVORA_SCREENSHOT_DIR");
    if (!folder || !*folder) return;
    // From the screen with the window manager's frame, as the other pictures, once Qt knows
    // the frame; else the window alone.
    const bool framed = processEventsUntil([window] { return window->frameGeometry() != window->geometry(); });
    settle();
    const QRect frame = window->frameGeometry();
    QPixmap picture;
    if (framed) picture = window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (picture.size() != frame.size()) picture = window->grab();
    EXPECT_GE(picture.width(), window->width()) << file << ": the picture failed; run again";
    EXPECT_TRUE(picture.save(QString::fromUtf8(folder) + "/" + file, "PNG")) << file;
}

class SUUpdateWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::requireDisplay());
        application();
        Bundle::setMainBundle(Bundle(TELVORA_APP_DIR));
    }
    void TearDown() override { Bundle::setMainBundle(std::nullopt); }

    // Shows the offer and waits until the window has the keyboard.
    void showOffer(SUUpdateWindow& updateWindow, const SUUserDriver::Offer& shown)
    {
        updateWindow.showUpdateFound(shown, [this](Choice choice) { choices.push_back(choice); });
        ASSERT_TRUE(hasKeyboard(updateWindow.window())) << "the update window did not come to the front";
    }

    std::vector<Choice> choices;
};

TEST_F(SUUpdateWindowTest, OfferComesToTheFrontAndAnswersOnce)
{
    SUUpdateWindow updateWindow;
    showOffer(updateWindow, offer(kNotes));
    QDialog* window = updateWindow.window();
    EXPECT_EQ(window->windowTitle(), "Software Update");
    EXPECT_EQ(child<QLabel>(window, "heading")->text(), "A new version of Telvora is available!");
    EXPECT_EQ(child<QLabel>(window, "informativeText")->text(),
              "Telvora 2.0 is now available\u2014you have 1.0. Would you like to install it now?");
    QPushButton* skip = child<QPushButton>(window, "leftButton");
    QPushButton* later = child<QPushButton>(window, "middleButton");
    QPushButton* install = child<QPushButton>(window, "rightButton");
    EXPECT_EQ(skip->text(), "Skip This Version");
    EXPECT_EQ(later->text(), "Remind Me Later");
    EXPECT_EQ(install->text(), "Install Update");
    EXPECT_TRUE(install->isDefault());
    EXPECT_LT(skip->x(), later->x());
    EXPECT_LT(later->x(), install->x());
    QTextBrowser* notes = child<QTextBrowser>(window, "releaseNotes");
    EXPECT_TRUE(notes->isVisible());
    EXPECT_TRUE(notes->toPlainText().contains("start faster"));
    saveScreenshot(window, "update-offer.png");

    // Return from the keyboard: the default button answers.
    pressReturn();
    ASSERT_TRUE(processEventsUntil([&] { return !choices.empty(); }));
    EXPECT_EQ(choices, std::vector<Choice>{Choice::Install});
    // Answered: further presses and clicks, and closing, say nothing more.
    QTest::keyClick(window, Qt::Key_Return);
    install->click();
    window->close();
    settle();
    EXPECT_EQ(choices, std::vector<Choice>{Choice::Install});

    choices.clear();
    showOffer(updateWindow, offer(""));
    EXPECT_FALSE(notes->isVisible());
    QTest::mouseClick(skip, Qt::LeftButton);
    QTest::mouseClick(skip, Qt::LeftButton);
    EXPECT_EQ(choices, std::vector<Choice>{Choice::Skip});
    EXPECT_FALSE(window->isVisible());

    // Closing the window postpones; an already downloaded update installs and relaunches.
    choices.clear();
    showOffer(updateWindow, offer("", true));
    EXPECT_EQ(install->text(), "Install and Relaunch");
    QTest::keyClick(window, Qt::Key_Escape);
    window->close();
    EXPECT_EQ(choices, std::vector<Choice>{Choice::RemindLater});
    EXPECT_FALSE(window->isVisible());

    // The updater ends the flow: a pending answer is dropped, never given late.
    choices.clear();
    showOffer(updateWindow, offer(kNotes));
    updateWindow.dismissUpdate();
    EXPECT_FALSE(window->isVisible());
    install->click();
    EXPECT_TRUE(choices.empty());
}

TEST_F(SUUpdateWindowTest, DownloadShowsSizesAndEachPageAnswersOnce)
{
    EXPECT_EQ(SUUpdateWindow::megabytes(0), "0.0 MB");
    EXPECT_EQ(SUUpdateWindow::megabytes(49'999), "0.0 MB");
    EXPECT_EQ(SUUpdateWindow::megabytes(50'000), "0.1 MB");
    EXPECT_EQ(SUUpdateWindow::megabytes(5'000'000'000), "5000.0 MB");

    SUUpdateWindow updateWindow;
    QDialog* window = updateWindow.window();
    int cancels = 0;
    updateWindow.showDownloadStarted([&] { ++cancels; });
    QProgressBar* bar = child<QProgressBar>(window, "progressBar");
    QLabel* progress = child<QLabel>(window, "progressText");
    EXPECT_EQ(child<QLabel>(window, "heading")->text(), "Downloading update\u2026");
    updateWindow.showDownloadProgress(1'500'000, 0);
    EXPECT_EQ(bar->maximum(), 0) << "busy while the length is unknown";
    EXPECT_EQ(progress->text(), "1.5 MB");
    updateWindow.showDownloadProgress(3'200'000, 20'000'000);
    EXPECT_EQ(progress->text(), "3.2 MB of 20.0 MB");
    EXPECT_DOUBLE_EQ(static_cast<double>(bar->value()) / bar->maximum(), 0.16);
    saveScreenshot(window, "update-download.png");

    QPushButton* cancel = child<QPushButton>(window, "rightButton");
    EXPECT_EQ(cancel->text(), "Cancel");
    EXPECT_FALSE(cancel->isDefault()) << "Return must not throw a download away";
    EXPECT_FALSE(child<QPushButton>(window, "leftButton")->isVisible());
    QTest::mouseClick(cancel, Qt::LeftButton);
    cancel->click();
    window->close();
    EXPECT_EQ(cancels, 1);
    EXPECT_FALSE(window->isVisible());

    // Closing the download page is cancelling it, once.
    cancels = 0;
    updateWindow.showDownloadStarted([&] { ++cancels; });
    window->close();
    window->close();
    EXPECT_EQ(cancels, 1);

    std::vector<bool> answers;
    updateWindow.showPreparing();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_FALSE(child<QPushButton>(window, "rightButton")->isVisible());
    // The person works in another window meanwhile: the next page comes back to the front.
    QWidget other;
    other.setWindowTitle("Other work");
    other.resize(300, 200);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(hasKeyboard(&other));
    updateWindow.showReadyToInstall([&](bool now) { answers.push_back(now); });
    EXPECT_EQ(child<QPushButton>(window, "middleButton")->text(), "Later");
    EXPECT_EQ(child<QPushButton>(window, "rightButton")->text(), "Install and Relaunch");
    ASSERT_TRUE(hasKeyboard(window)) << "the ready page did not come to the front";
    pressReturn();
    ASSERT_TRUE(processEventsUntil([&] { return !answers.empty(); }));
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_EQ(answers, std::vector<bool>{true});
    updateWindow.showInstalling();
    EXPECT_TRUE(window->isVisible());

    answers.clear();
    updateWindow.showReadyToInstall([&](bool now) { answers.push_back(now); });
    window->close();
    EXPECT_EQ(answers, std::vector<bool>{false});
    EXPECT_FALSE(window->isVisible());
}

}
}

// fontconfig keeps its configuration until exit on purpose; LeakSanitizer would report it.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
