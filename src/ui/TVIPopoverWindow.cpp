#include "ui/TVIPopoverWindow.h"

#include <QCloseEvent>
#include <QFrame>
#include <QVBoxLayout>

namespace tvi {

namespace {

constexpr int kBarWidth = 320;
constexpr int kBarHeight = 36;

}

TVIPopoverWindow::TVIPopoverWindow(QWidget* parent) : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint)
{
    setObjectName("TVIPopoverWindow");
    setWindowTitle("Telvora");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    auto* bar = new QFrame(this);
    bar->setObjectName("TVIPopoverBar");
    bar->setFixedSize(kBarWidth, kBarHeight);
    setContent(bar);
}

void TVIPopoverWindow::setContent(QWidget* content)
{
    if (content_) {
        layout()->removeWidget(content_);
        content_->deleteLater();
    }
    content_ = content;
    content_->setParent(this);
    layout()->addWidget(content_);
    adjustSize();
}

void TVIPopoverWindow::showEvent(QShowEvent* event)
{
    if (activeChanged_) activeChanged_(true);
    QWidget::showEvent(event);
}

void TVIPopoverWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (activeChanged_) activeChanged_(false);
}

void TVIPopoverWindow::closeEvent(QCloseEvent* event)
{
    if (mayClose_ && !mayClose_()) {
        event->ignore();
        return;
    }
    if (willClose_) willClose_();
    QWidget::closeEvent(event);
}

}
