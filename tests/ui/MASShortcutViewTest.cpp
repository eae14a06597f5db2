// The recorder's state machine, driven by synthesized keys and clicks on the offscreen platform.
#include "foundation/KeyedArchiver.h"
#include "foundation/UserDefaults.h"
#include "platform/MacKeyCodes.h"
#include "platform/Platform.h"
#include "platform/memory/MemoryAlerts.h"
#include "platform/memory/MemoryHotKeys.h"
#include "shortcuts/MASShortcutMonitor.h"
#include "ui/MASShortcutView.h"
#include "ui/UiTestApplication.h"

#include <QApplication>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace tvi;

namespace {

constexpr std::uint64_t kShift = NSEventModifierFlagShift;
constexpr std::uint64_t kControl = NSEventModifierFlagControl;

class MASShortcutViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.setLayout(new QVBoxLayout);
        window.layout()->addWidget(&first);
        window.layout()->addWidget(&second);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    void TearDown() override
    {
        window.layout()->removeWidget(&first);
        window.layout()->removeWidget(&second);
        first.setParent(nullptr);
        second.setParent(nullptr);
    }
    void press(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyPress(target, key, modifiers);
    }
    void clickHint(MASShortcutView& view) { QTest::mouseClick(&view, Qt::LeftButton, {}, view.hintRect().center()); }
    void clickShortcut(MASShortcutView& view)
    {
        QTest::mouseClick(&view, Qt::LeftButton, {}, view.shortcutRect().center());
    }

    QApplication& app = test::uiTestApplication(); // before any widget
    std::shared_ptr<MemoryHotKeys> hotKeys = std::make_shared<MemoryHotKeys>();
    Platform::Scoped<HotKeys> scopedHotKeys{hotKeys};
    std::shared_ptr<MemoryAlerts> alerts = std::make_shared<MemoryAlerts>();
    Platform::Scoped<Alerts> scopedAlerts{alerts};
    QWidget window;
    MASShortcutView first;
    MASShortcutView second;
};

TEST_F(MASShortcutViewTest, ModifiersShowAsPlaceholderThenAKeyRecordsAndStops)
{
    clickShortcut(first);
    ASSERT_TRUE(first.isRecording());
    EXPECT_EQ(first.shortcutText().toStdString(), "Type Shortcut");
    press(&first, Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_EQ(first.shortcutPlaceholder(), QStringLiteral("\u21E7"));
    EXPECT_TRUE(first.isRecording());
    press(&first, Qt::Key_A, Qt::ShiftModifier);
    EXPECT_FALSE(first.isRecording());
    EXPECT_EQ(first.shortcutValue(), MASShortcut(kVK_ANSI_A, kShift));
    EXPECT_TRUE(first.shortcutPlaceholder().isEmpty());
}

TEST_F(MASShortcutViewTest, InvalidKeyKeepsRecordingDeleteClearsEscapeKeepsTheOldValue)
{
    first.setShortcutValue(MASShortcut(kVK_F5, 0));
    first.setFocus();
    press(&first, Qt::Key_Space); // the keyboard's way to start
    ASSERT_TRUE(first.isRecording());
    press(&first, Qt::Key_A); // no modifier: invalid, beeps
    EXPECT_TRUE(first.isRecording());
    press(&first, Qt::Key_Escape);
    EXPECT_FALSE(first.isRecording());
    EXPECT_EQ(first.shortcutValue(), MASShortcut(kVK_F5, 0));

    first.setRecording(true);
    press(&first, Qt::Key_Backspace, Qt::MetaModifier); // Delete wins over modifiers
    EXPECT_FALSE(first.isRecording());
    EXPECT_EQ(first.shortcutValue(), std::nullopt);
}

TEST_F(MASShortcutViewTest, CloseAndQuitChordsStopRecordingAndReachTheWindow)
{
    int closes = 0;
    auto* close = new QAction(&window);
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    window.addAction(close);
    QObject::connect(close, &QAction::triggered, [&] { ++closes; });
    first.setFocus();
    first.setRecording(true);
    press(&first, Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(first.isRecording());
    EXPECT_EQ(first.shortcutValue(), std::nullopt);
    EXPECT_EQ(closes, 1);

    // Other chords are recorded, not handed to the window's shortcuts.
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    first.setRecording(true);
    press(&first, Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(first.shortcutValue(), MASShortcut(kVK_ANSI_E, kControl));
    EXPECT_EQ(closes, 1);
}

TEST_F(MASShortcutViewTest, OneRecorderAtATimeAndDisablingStops)
{
    clickShortcut(first);
    clickShortcut(second);
    EXPECT_FALSE(first.isRecording());
    EXPECT_TRUE(second.isRecording());
    EXPECT_EQ(MASShortcutView::currentRecorder(), &second);
    second.setEnabled(false);
    EXPECT_FALSE(second.isRecording());
    clickShortcut(second);
    EXPECT_FALSE(second.isRecording());
    EXPECT_FALSE(MASShortcutMonitor::hotKeysSuspended());
}

TEST_F(MASShortcutViewTest, HintAreaClearsWhenIdleAndCancelsWhenRecording)
{
    first.setShortcutValue(MASShortcut(kVK_F6, kShift));
    EXPECT_EQ(first.toolTipAt(first.hintRect().center()).toStdString(), "Delete shortcut");
    EXPECT_EQ(first.toolTipAt(first.shortcutRect().center()).toStdString(), "Click to record new shortcut");
    clickShortcut(first);
    ASSERT_TRUE(first.isRecording());
    EXPECT_TRUE(first.toolTipAt(first.hintRect().center()).isEmpty());
    EXPECT_EQ(first.hintText(), QStringLiteral("\u238B"));
    clickShortcut(first); // clicks in the shortcut area while recording do nothing
    EXPECT_TRUE(first.isRecording());
    clickHint(first);
    EXPECT_FALSE(first.isRecording());
    EXPECT_EQ(first.shortcutValue(), MASShortcut(kVK_F6, kShift));
    clickHint(first);
    EXPECT_EQ(first.shortcutValue(), std::nullopt);
    EXPECT_FALSE(first.isRecording());
}

TEST_F(MASShortcutViewTest, OwnHotKeysAreSuspendedWhileRecordingAndTakenCombinationsAlert)
{
    auto monitor = MASShortcutMonitor::addGlobalHotkeyMonitorWithShortcut(MASShortcut(kVK_F7, 0), [] {});
    ASSERT_TRUE(monitor);
    ASSERT_EQ(hotKeys->registeredHotKeys().size(), 1u);
    first.setRecording(true);
    EXPECT_TRUE(hotKeys->registeredHotKeys().empty()); // F7 reaches the recorder

    // Held by another of Telvora's actions: refused with an alert, recording goes on.
    press(&first, Qt::Key_F7);
    ASSERT_EQ(alerts->shownAlerts().size(), 1u);
    EXPECT_EQ(alerts->shownAlerts()[0].alertStyle, AlertStyle::Critical);
    EXPECT_NE(alerts->shownAlerts()[0].informativeText.find("another Telvora action"), std::string::npos);
    EXPECT_TRUE(first.isRecording());

    // Held by another program.
    hotKeys->occupy(kVK_F8, 0, true);
    press(&first, Qt::Key_F8);
    ASSERT_EQ(alerts->shownAlerts().size(), 2u);
    EXPECT_NE(alerts->shownAlerts()[1].informativeText.find("another application"), std::string::npos);
    EXPECT_TRUE(first.isRecording());

    press(&first, Qt::Key_F9);
    EXPECT_EQ(first.shortcutValue(), MASShortcut(kVK_F9, 0));
    EXPECT_FALSE(first.isRecording());
    EXPECT_EQ(hotKeys->registeredHotKeys().size(), 1u); // F7 is back
    MASShortcutMonitor::removeGlobalHotkeyMonitor(monitor);
}

TEST_F(MASShortcutViewTest, DefaultsBindingWorksBothWaysAndClearingStoresTheArchiveOfNil)
{
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setData(MASShortcut(kVK_F2, kShift).data(), "TVIHoldCallShortcut");
    first.setShortcutValue(MASShortcut(kVK_F3, 0));
    first.setAssociatedUserDefaultsKey("TVIHoldCallShortcut");
    EXPECT_EQ(first.shortcutValue(), MASShortcut(kVK_F2, kShift));

    first.setRecording(true);
    press(&first, Qt::Key_F4, Qt::ControlModifier);
    EXPECT_EQ(MASShortcut::shortcutWithData(defaults.dataForKey("TVIHoldCallShortcut")), MASShortcut(kVK_F4, kControl));

    defaults.setData(MASShortcut(kVK_F10, 0).data(), "TVIHoldCallShortcut");
    EXPECT_EQ(first.shortcutValue(), MASShortcut(kVK_F10, 0));

    clickHint(first);
    EXPECT_EQ(defaults.dataForKey("TVIHoldCallShortcut"), KeyedArchiver::archivedDataWithNilRoot());

    first.setAssociatedUserDefaultsKey({});
    EXPECT_EQ(first.shortcutValue(), MASShortcut(kVK_F3, 0)); // the value before the binding
    defaults.removeObjectForKey("TVIHoldCallShortcut");
}

}
