// Pane switching and sizing, the stored place, pane and sizes, and the two real panes.
#include "app/TVIAppDelegate.h"
#include "app/TVIAppPreferences.h"
#include "foundation/UserDefaults.h"
#include "support/TestHome.h"
#include "ui/GeneralPreferencesViewController.h"
#include "ui/MASPreferencesWindowController.h"
#include "ui/TVIPreferencesWindowController.h"
#include "ui/UiTestApplication.h"
#include "update/SUUpdater.h"

#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

using namespace tvi;

namespace {

class TestPane : public MASPreferencesViewController {
public:
    TestPane(QString identifier, QSize size, bool widthFlexible)
        : identifier_(std::move(identifier)), widthFlexible_(widthFlexible), view_(std::make_unique<QWidget>())
    {
        view_->resize(size);
    }
    QString identifier() const override { return identifier_; }
    QIcon toolbarItemImage() const override { return {}; }
    QString toolbarItemLabel() const override { return identifier_ + " label"; }
    QWidget* view() override { return view_.get(); }
    bool commitEditing() override { return commits; }
    bool isWidthFlexible() const override { return widthFlexible_; }
    bool commits = true;

private:
    QString identifier_;
    bool widthFlexible_;
    std::unique_ptr<QWidget> view_;
};

class MASPreferencesWindowControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* key : {MASPreferencesWindowController::kFrameTopLeftKey,
                                MASPreferencesWindowController::kSelectedIdentifierKey, "MASPreferences Fixed Frame",
                                "MASPreferences Wide Frame", "TVIShowHiddenPreferences"})
            defaults.removeObjectForKey(key);
    }
    std::unique_ptr<MASPreferencesWindowController> makeController(TestPane** fixed = nullptr, TestPane** wide = nullptr)
    {
        MASPreferencesWindowController::Panes panes;
        panes.push_back(std::make_unique<TestPane>("Fixed", QSize(300, 120), false));
        panes.push_back(nullptr);
        panes.push_back(std::make_unique<TestPane>("Wide", QSize(200, 100), true));
        if (fixed) *fixed = static_cast<TestPane*>(panes[0].get());
        if (wide) *wide = static_cast<TestPane*>(panes[2].get());
        return std::make_unique<MASPreferencesWindowController>(std::move(panes), QString(), defaults);
    }

    QApplication& app = test::uiTestApplication();
    UserDefaults& defaults = UserDefaults::standard();
};

TEST_F(MASPreferencesWindowControllerTest, PanesAreSizedByTheirRulesAndTheSelectionIsKept)
{
    defaults.setString("{{0, 0}, {500, 400}}", "MASPreferences Fixed Frame");
    defaults.setString("{{0, 0}, {150, 90}}", "MASPreferences Wide Frame");
    TestPane* fixed = nullptr;
    TestPane* wide = nullptr;
    auto controller = makeController(&fixed, &wide);
    ASSERT_EQ(controller->selectedViewController(), fixed);
    EXPECT_EQ(controller->window()->windowTitle(), "Fixed label");
    EXPECT_EQ(fixed->view()->size(), QSize(300, 120)); // not flexible: its minimum, whatever was stored
    EXPECT_EQ(controller->toolbarItemIdentifiers(),
              QStringList({"Fixed", MASPreferencesWindowController::kFlexibleSpaceIdentifier, "Wide"}));

    controller->goNextTab(); // skips the separator
    ASSERT_EQ(controller->selectedViewController(), wide);
    EXPECT_EQ(controller->indexOfSelectedController(), 2u);
    // Flexible in width but the stored width is below the minimum; never flexible in height.
    EXPECT_EQ(wide->view()->size(), QSize(200, 100));
    EXPECT_EQ(*defaults.stringForKey(MASPreferencesWindowController::kSelectedIdentifierKey), "Wide");
    controller->goNextTab(); // wraps
    EXPECT_EQ(controller->selectedViewController(), fixed);
    controller->goPreviousTab();
    EXPECT_EQ(controller->selectedViewController(), wide);

    controller->selectControllerAtIndex(3); // the count: nothing
    controller->selectControllerAtIndex(1); // a separator: nothing
    EXPECT_EQ(controller->selectedViewController(), wide);

    wide->commits = false; // pending edits that cannot be committed keep the pane
    controller->setSelectedViewController(fixed);
    EXPECT_EQ(controller->selectedViewController(), wide);
    EXPECT_FALSE(controller->windowShouldClose());
    wide->commits = true;

    controller.reset();
    auto reopened = makeController(nullptr, &wide);
    EXPECT_EQ(reopened->selectedViewController(), wide);
}

TEST_F(MASPreferencesWindowControllerTest, TheWindowKeepsItsTopLeftCornerAndItsPlace)
{
    TestPane* wide = nullptr;
    auto controller = makeController(nullptr, &wide);
    controller->showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(controller->window()));
    controller->window()->move(120, 80);
    QTest::qWait(20);
    EXPECT_EQ(*defaults.stringForKey(MASPreferencesWindowController::kFrameTopLeftKey), "{120, 80}");
    const QPoint topLeft = controller->window()->pos();
    controller->setSelectedViewController(wide);
    EXPECT_EQ(controller->window()->pos(), topLeft);

    wide->view()->window()->resize(controller->window()->width() + 60, controller->window()->height());
    QTest::qWait(20);
    EXPECT_EQ(*defaults.stringForKey("MASPreferences Wide Frame"),
              MASPreferencesWindowController::stringFromRect(QRect(QPoint(), wide->view()->size())).toStdString());
    EXPECT_EQ(wide->view()->width(), 260);

    controller.reset();
    auto reopened = makeController();
    EXPECT_EQ(reopened->window()->pos(), QPoint(120, 80));
}

TEST_F(MASPreferencesWindowControllerTest, TheShortcutsPaneIsShownOnlyWhenAskedFor)
{
    auto delegate = std::make_shared<TVIAppDelegate>();
    for (bool hidden : {false, true}) {
        defaults.setBool(hidden, "TVIShowHiddenPreferences");
        TVIPreferencesWindowController preferences;
        preferences.showPreferencesWindow(*delegate);
        MASPreferencesWindowController& controller = *preferences.windowController();
        EXPECT_EQ(controller.toolbarItemIdentifiers().size(), hidden ? 2 : 1);
        EXPECT_EQ(controller.window()->windowTitle(), "Preferences");
        // Screenshots for a look by eye, on demand.
        const QByteArray folder = qgetenv("TELVORA_UI_SCREENSHOTS");
        if (!hidden || folder.isEmpty()) continue;
        for (int pane = 0; pane < 2; ++pane) {
            controller.selectControllerAtIndex(std::size_t(pane));
            QTest::qWait(50);
            controller.window()->grab().save(folder + "/preferences-" + QByteArray::number(pane) + ".png");
        }
    }
}

TEST_F(MASPreferencesWindowControllerTest, LastCheckTextHasTheDateOnlyAfterACheck)
{
    auto delegate = std::make_shared<TVIAppDelegate>();
    UserDefaults store("com.orvella.Telvora.uitest", test::makeTempDir() + "/defaults.plist");
    SUUpdater updater(store);
    GeneralPreferencesViewController general(delegate->preferences(), updater);
    EXPECT_EQ(general.lastUpdateText().toStdString(), "Last check time:");
    updater.setLastUpdateCheckDate(std::chrono::system_clock::now());
    EXPECT_GT(general.lastUpdateText().size(), QString("Last check time: ").size());
}

}
