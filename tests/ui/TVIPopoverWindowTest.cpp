// The popover's close veto and its open/close notifications, on Qt's offscreen platform.
#include "ui/TVIPopoverWindow.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <vector>

namespace tvi {
namespace {

QApplication& application()
{
    static int argc = 3;
    static char arg0[] = "TVIPopoverWindowTest", arg1[] = "-platform", arg2[] = "offscreen";
    static char* argv[] = {arg0, arg1, arg2, nullptr};
    static QApplication app(argc, argv);
    return app;
}

TEST(TVIPopoverWindowTest, AVetoKeepsThePopoverOpenAndCloseNotificationsFollowOnlyARealClose)
{
    application();
    TVIPopoverWindow popover;
    bool mayClose = false;
    std::vector<std::string> events;
    popover.setCloseVeto([&] { return mayClose; });
    popover.setWillClose([&] { events.push_back("willClose"); });
    popover.setActiveChanged([&](bool active) { events.push_back(active ? "active" : "inactive"); });

    popover.show();
    EXPECT_TRUE(popover.isVisible());
    EXPECT_FALSE(popover.close());
    EXPECT_TRUE(popover.isVisible());
    EXPECT_EQ(events, (std::vector<std::string>{"active"}));

    mayClose = true;
    EXPECT_TRUE(popover.close());
    EXPECT_FALSE(popover.isVisible());
    EXPECT_EQ(events, (std::vector<std::string>{"active", "willClose", "inactive"}));
}

TEST(TVIPopoverWindowTest, IsAFramelessPopupWithAnEmptyBarUntilContentComes)
{
    application();
    TVIPopoverWindow popover;
    EXPECT_TRUE(popover.windowFlags() & Qt::Popup);
    EXPECT_TRUE(popover.windowFlags() & Qt::FramelessWindowHint);
    ASSERT_NE(popover.content(), nullptr);
    EXPECT_EQ(popover.content()->objectName(), "TVIPopoverBar");
    auto* content = new QWidget;
    content->setFixedSize(200, 120);
    popover.setContent(content);
    EXPECT_EQ(popover.content(), content);
    EXPECT_GE(popover.sizeHint().height(), 120);
}

}
}
