#pragma once

#include <QWidget>

#include <functional>

namespace tvi {

// The status item's popover: a frameless popup window. As a popup it takes the pointer while
// shown, so a click anywhere else closes it (unless the close veto says no). The content is a
// plain bar until the contacts view fills it.
class TVIPopoverWindow : public QWidget {
public:
    explicit TVIPopoverWindow(QWidget* parent = nullptr);

    // Asked before every close; false keeps the popover open.
    void setCloseVeto(std::function<bool()> mayClose) { mayClose_ = std::move(mayClose); }
    // Called once a close got past the veto, before the window goes.
    void setWillClose(std::function<void()> willClose) { willClose_ = std::move(willClose); }
    // Called when the popover is about to be shown (true) and once it closed (false).
    void setActiveChanged(std::function<void(bool)> activeChanged) { activeChanged_ = std::move(activeChanged); }
    // The content widget (owned by the popover from then on); replaces the bar.
    void setContent(QWidget* content);
    QWidget* content() const { return content_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    std::function<bool()> mayClose_;
    std::function<void()> willClose_;
    std::function<void(bool)> activeChanged_;
    QWidget* content_ = nullptr;
};

}
