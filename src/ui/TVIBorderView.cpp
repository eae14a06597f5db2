#include "ui/TVIBorderView.h"

#include "app/TVIPreferenceKeys.h"
#include "environment/TVIVibrancyUtils.h"
#include "foundation/UserDefaults.h"

#include <QLinearGradient>
#include <QPainter>

namespace tvi {

TVIBorderView::TVIBorderView(Edge edge, QWidget* parent) : QWidget(parent), edge_(edge)
{
    setObjectName(edge == Edge::Top ? QStringLiteral("topBorderView") : QStringLiteral("bottomBorderView"));
}

bool TVIBorderView::allowsVibrancy()
{
    return TVIVibrancyUtils::systemSupportsVibrancy() &&
           UserDefaults::standard().boolForKey(TVIEnableVibrantAppearance);
}

void TVIBorderView::paintEvent(QPaintEvent*)
{
    if (allowsVibrancy()) return;
    QPainter painter(this);
    // From white 0.873 at the bottom to 0.99 at the top.
    QLinearGradient gradient(rect().bottomLeft(), rect().topLeft());
    gradient.setColorAt(0, QColor::fromRgbF(0.873f, 0.873f, 0.873f));
    gradient.setColorAt(1, QColor::fromRgbF(0.99f, 0.99f, 0.99f));
    painter.fillRect(rect(), gradient);
    painter.setPen(QColor::fromRgbF(0.5f, 0.5f, 0.5f));
    const int y = edge_ == Edge::Top ? height() - 1 : 0;
    painter.drawLine(0, y, width(), y);
}

}
