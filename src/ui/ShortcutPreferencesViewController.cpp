#include "ui/ShortcutPreferencesViewController.h"

#include "app/TVICallControl.h"
#include "link/TVIMessageTypes.h"
#include "foundation/Bundle.h"
#include "foundation/NotificationCenter.h"
#include "ui/MASShortcutView.h"
#include "ui/TVIUiText.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>

namespace tvi {

namespace {

struct Row {
    const char* label;
    const char* objectName;
    TVICallAction action;
};

const std::array<Row, ShortcutPreferencesViewController::kActionCount> kRows{{
    {"Make Call:", "MakeCallView", TVICallAction::MakeCall},
    {"Cancel Action:", "CancelActionView", TVICallAction::CancelAction},
    {"Answer Call:", "AnswerCallView", TVICallAction::AnswerCall},
    {"Clear Connection:", "ClearConnectionView", TVICallAction::ClearConnection},
    {"Deflect Call:", "DeflectCallView", TVICallAction::DeflectCall},
    {"Hold Call:", "HoldCallView", TVICallAction::HoldCall},
    {"Retrieve Call:", "RetrieveCallView", TVICallAction::RetrieveCall},
    {"Transfer Call:", "TransferCallView", TVICallAction::TransferCall},
}};

// A keyboard drawn in the palette's colours, for desktops whose icon theme has none.
QIcon drawnKeyboardIcon(const QPalette& palette)
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette.color(QPalette::WindowText), 3));
    painter.setBrush(palette.color(QPalette::Base));
    painter.drawRoundedRect(QRectF(4, 16, 56, 34), 6, 6);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette.color(QPalette::WindowText));
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 6; ++column) painter.drawRect(QRectF(11 + column * 8, 22 + row * 8, 5, 5));
    painter.drawRect(QRectF(19, 39, 26, 5));
    return QIcon(pixmap);
}

}

ShortcutPreferencesViewController::ShortcutPreferencesViewController(TVICallControl& callControl)
    : callControl_(callControl), view_(std::make_unique<QWidget>())
{
    buildView();
    shortcutsEnabledChanged();
    for (std::size_t row = 0; row < kActionCount; ++row)
        recorders_[row]->setAssociatedUserDefaultsKey(QString::fromLatin1(TVIMessageTypes::codes(kRows[row].action).shortcutKey));
    QWidget* context = view_.get();
    NotificationCenter::defaultCenter().addObserver(
        "shortcutsEnabledChanged", nullptr,
        [this, context](const Notification&) {
            QMetaObject::invokeMethod(context, [this] { shortcutsEnabledChanged(); },
                                      QThread::currentThread() == context->thread() ? Qt::DirectConnection
                                                                                    : Qt::QueuedConnection);
        },
        this);
}

ShortcutPreferencesViewController::~ShortcutPreferencesViewController()
{
    NotificationCenter::defaultCenter().removeObserversForOwner(this);
}

QString ShortcutPreferencesViewController::legendText()
{
    QString text = TVIUiText::localized("%@=Shift %@=Control %@=Option(Alt) %@=Command %@=Escape %@=Delete");
    for (const char16_t glyph : {u'\u21E7', u'\u2303', u'\u2325', u'\u2318', u'\u238B', u'\u232B'}) {
        const auto at = text.indexOf(QStringLiteral("%@"));
        if (at < 0) break;
        text.replace(at, 2, QChar(glyph));
    }
    return text;
}

void ShortcutPreferencesViewController::buildView()
{
    view_->setObjectName(identifier());
    keyShortcutsBox_ = new QGroupBox(TVIUiText::localized("Keyboard Shortcuts"));
    auto* grid = new QGridLayout(keyShortcutsBox_);
    grid->setColumnStretch(1, 1);
    for (std::size_t row = 0; row < kActionCount; ++row) {
        auto* label = new QLabel(TVIUiText::localized(kRows[row].label));
        auto* recorder = new MASShortcutView;
        recorder->setObjectName(QString::fromLatin1(kRows[row].objectName));
        recorder->setAccessibleName(label->text());
        label->setBuddy(recorder);
        grid->addWidget(label, int(row), 0, Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(recorder, int(row), 1);
        recorders_[row] = recorder;
    }

    legendBox_ = new QGroupBox(TVIUiText::localized("Legend"));
    legendLabel_ = new QLabel(legendText());
    legendLabel_->setWordWrap(true);
    auto* legendLayout = new QVBoxLayout(legendBox_);
    legendLayout->addWidget(legendLabel_);

    auto* layout = new QVBoxLayout(view_.get());
    layout->addWidget(keyShortcutsBox_);
    layout->addWidget(legendBox_);
    layout->addStretch(1);
    const QSize hint = view_->sizeHint();
    view_->resize(std::max(hint.width(), 420), hint.height());
}

QIcon ShortcutPreferencesViewController::toolbarItemImage() const
{
    if (const auto path = Bundle::mainBundle().pathForResource("keyboardmouse_icon", "png"))
        return QIcon(QString::fromStdString(*path));
    const QIcon themed = QIcon::fromTheme(QStringLiteral("preferences-desktop-keyboard-shortcuts"),
                                          QIcon::fromTheme(QStringLiteral("input-keyboard")));
    return themed.isNull() ? drawnKeyboardIcon(view_->palette()) : themed;
}

QString ShortcutPreferencesViewController::toolbarItemLabel() const { return TVIUiText::localized("Shortcuts"); }

QWidget* ShortcutPreferencesViewController::initialKeyView()
{
    for (MASShortcutView* recorder : recorders_)
        if (recorder->isEnabled()) return recorder;
    return nullptr;
}

void ShortcutPreferencesViewController::shortcutsEnabledChanged()
{
    for (std::size_t row = 0; row < kActionCount; ++row)
        recorders_[row]->setEnabled(callControl_.isShortcutEnabled(kRows[row].action));
}

}
