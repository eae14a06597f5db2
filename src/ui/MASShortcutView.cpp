#include "ui/MASShortcutView.h"

#include "foundation/Format.h"
#include "platform/Alerts.h"
#include "platform/MacKeyCodes.h"
#include "platform/Platform.h"
#include "shortcuts/MASShortcutMonitor.h"
#include "ui/MASShortcutDefaultsObserver.h"
#include "ui/TVIUiText.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyleOptionButton>
#include <QTimer>
#include <QToolTip>
#include <QWindow>

namespace tvi {

namespace {

const QString kDeleteGlyph = QStringLiteral("\u232B");
const QString kEscapeGlyph = QStringLiteral("\u238B");

QPointer<MASShortcutView>& currentRecorderSlot()
{
    static QPointer<MASShortcutView> recorder;
    return recorder;
}

ShortcutMenu& mainMenuSlot()
{
    static ShortcutMenu menu;
    return menu;
}

QString toQString(const std::string& text) { return QString::fromStdString(text); }

}

MASShortcutView::MASShortcutView(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
    updateAccessibleText();
}

MASShortcutView::~MASShortcutView()
{
    defaultsObserver_.reset();
    setMonitoring(false);
    if (recording_) MASShortcutMonitor::resumeHotKeys();
}

void MASShortcutView::setShortcutValue(const std::optional<MASShortcut>& value)
{
    shortcutValue_ = value;
    updateAccessibleText();
    update();
    emit shortcutValueChanged();
    if (shortcutValueChange) shortcutValueChange(*this);
}

void MASShortcutView::setShortcutPlaceholder(const QString& placeholder)
{
    shortcutPlaceholder_ = placeholder;
    updateAccessibleText();
    update();
}

void MASShortcutView::setRecording(bool recording)
{
    QPointer<MASShortcutView>& current = currentRecorderSlot();
    if (recording && current != this) {
        if (current) current->setRecording(false);
        current = this;
    }
    if (recording && !isEnabled()) return;
    if (recording == recording_) return;
    recording_ = recording;
    shortcutPlaceholder_.clear();
    setMonitoring(recording);
    if (recording)
        MASShortcutMonitor::suspendHotKeys();
    else
        MASShortcutMonitor::resumeHotKeys();
    updateAccessibleText();
    update();
}

void MASShortcutView::setAppearance(Appearance appearance)
{
    appearance_ = appearance;
    updateGeometry();
    update();
}

QString MASShortcutView::associatedUserDefaultsKey() const
{
    return defaultsObserver_ ? QString::fromStdString(defaultsObserver_->userDefaultsKey()) : QString();
}

void MASShortcutView::setAssociatedUserDefaultsKey(const QString& key)
{
    defaultsObserver_.reset();
    if (!key.isEmpty()) defaultsObserver_ = std::make_unique<MASShortcutDefaultsObserver>(*this, key.toStdString());
}

int MASShortcutView::hintWidth() const
{
    switch (appearance_) {
    case Appearance::Textured: return 25;
    case Appearance::Rounded: return 26;
    case Appearance::Default: break;
    }
    return 23;
}

QRect MASShortcutView::hintRect() const
{
    return QRect(width() - hintWidth(), 0, hintWidth(), height());
}

QRect MASShortcutView::shortcutRect() const { return QRect(0, 0, width() - hintWidth(), height()); }

QString MASShortcutView::shortcutText() const
{
    if (!recording_) {
        if (shortcutValue_) return toQString(shortcutValue_->description());
        return TVIUiText::localized("Record Shortcut");
    }
    if (hinting_) return TVIUiText::localized(shortcutValue_ ? "Use Old Shortcut" : "Cancel");
    if (!shortcutPlaceholder_.isEmpty()) return shortcutPlaceholder_;
    return TVIUiText::localized(shortcutValue_ ? "Type New Shortcut" : "Type Shortcut");
}

QString MASShortcutView::hintText() const
{
    if (recording_) return kEscapeGlyph;
    return shortcutValue_ ? kDeleteGlyph : QString();
}

QString MASShortcutView::toolTipAt(const QPoint& point) const
{
    if (!shortcutValue_ || !isEnabled() || recording_) return {};
    if (hintRect().contains(point)) return TVIUiText::localized("Delete shortcut");
    if (shortcutRect().contains(point)) return TVIUiText::localized("Click to record new shortcut");
    return {};
}

bool MASShortcutView::shouldBypass(const MASShortcut& shortcut)
{
    if (shortcut.modifierFlags() != NSEventModifierFlagControl) return false;
    const std::string key = shortcut.keyCodeString();
    return key == "W" || key == "Q";
}

MASShortcutView* MASShortcutView::currentRecorder() { return currentRecorderSlot().data(); }

void MASShortcutView::setMainMenu(ShortcutMenu menu) { mainMenuSlot() = std::move(menu); }

QSize MASShortcutView::sizeHint() const
{
    const QFontMetrics metrics(font());
    int textWidth = 0;
    for (const char* text : {"Record Shortcut", "Type New Shortcut", "Use Old Shortcut", "Type Shortcut"})
        textWidth = std::max(textWidth, metrics.horizontalAdvance(TVIUiText::localized(text)));
    if (shortcutValue_) textWidth = std::max(textWidth, metrics.horizontalAdvance(shortcutText()));
    QStyleOptionButton option;
    option.initFrom(this);
    // The text is centred in the shortcut area: keep the same room on its left as the strip takes.
    const QSize contents(textWidth + 2 * hintWidth(), metrics.height());
    return style()->sizeFromContents(QStyle::CT_PushButton, &option, contents, this).expandedTo(QSize(160, 0));
}

QSize MASShortcutView::minimumSizeHint() const { return QSize(120, sizeHint().height()); }

void MASShortcutView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOptionButton option;
    option.initFrom(this);
    if (recording_) option.state |= QStyle::State_On | QStyle::State_Sunken;
    if (appearance_ != Appearance::Default) option.rect.adjust(0, 1, 0, 0);
    style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, this);

    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    painter.setPen(palette().color(group, QPalette::ButtonText));
    const QString hint = hintText();
    const QRect textRect = hint.isEmpty() ? option.rect : shortcutRect().adjusted(4, option.rect.top(), 0, 0);
    const QString text = painter.fontMetrics().elidedText(shortcutText(), Qt::ElideRight, textRect.width() - 8);
    painter.drawText(textRect, Qt::AlignCenter, text);
    if (!hint.isEmpty()) {
        if (hinting_) painter.setPen(palette().color(group, QPalette::Highlight));
        painter.drawText(hintRect().adjusted(0, option.rect.top(), -4, 0), Qt::AlignCenter, hint);
    }
}

void MASShortcutView::mousePressEvent(QMouseEvent* event)
{
    if (!isEnabled() || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const bool inHint = hintRect().contains(event->position().toPoint());
    if (recording_) {
        if (inHint) setRecording(false);
    } else if (shortcutValue_ && inHint) {
        setShortcutValue(std::nullopt);
    } else {
        setRecording(true);
    }
    event->accept();
}

void MASShortcutView::mouseMoveEvent(QMouseEvent* event)
{
    setHinting(isEnabled() && hintRect().contains(event->position().toPoint()));
    QWidget::mouseMoveEvent(event);
}

void MASShortcutView::enterEvent(QEnterEvent* event)
{
    setHinting(isEnabled() && hintRect().contains(event->position().toPoint()));
    QWidget::enterEvent(event);
}

void MASShortcutView::leaveEvent(QEvent* event)
{
    setHinting(false);
    QWidget::leaveEvent(event);
}

void MASShortcutView::setHinting(bool hinting)
{
    if (hinting == hinting_) return;
    hinting_ = hinting;
    update();
}

void MASShortcutView::keyPressEvent(QKeyEvent* event)
{
    // Without a mouse: Space or Return start recording, Backspace or Delete clear.
    if (!recording_ && isEnabled() && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            setRecording(true);
            event->accept();
            return;
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
            if (shortcutValue_) {
                setShortcutValue(std::nullopt);
                event->accept();
                return;
            }
            break;
        default:
            break;
        }
    }
    QWidget::keyPressEvent(event);
}

void MASShortcutView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled()) setHinting(false);
        setRecording(false);
        updateAccessibleText();
        update();
    }
    QWidget::changeEvent(event);
}

bool MASShortcutView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = toolTipAt(help->pos());
        if (tip.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            const QRect area = hintRect().contains(help->pos()) ? hintRect() : shortcutRect();
            QToolTip::showText(help->globalPos(), tip, this, area);
        }
        return true;
    }
    return QWidget::event(event);
}

bool MASShortcutView::eventFilter(QObject* watched, QEvent* event)
{
    if (!monitoring_) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // No shortcut of the window may act on a key being recorded, but Escape and the
        // close and quit chords go on to the window.
        const auto key = TVIKeyEventTranslator::translate(*static_cast<QKeyEvent*>(event));
        if (key && !key->modifierChange &&
            (key->keyCode == kVK_Escape || shouldBypass(MASShortcut(key->keyCode, key->modifierFlags)))) {
            handleKey(*key);
            return false;
        }
        event->accept();
        return true;
    }
    case QEvent::KeyPress: {
        const auto key = TVIKeyEventTranslator::translate(*static_cast<QKeyEvent*>(event));
        return key ? handleKey(*key) : true;
    }
    case QEvent::KeyRelease: {
        const auto key = TVIKeyEventTranslator::translate(*static_cast<QKeyEvent*>(event));
        return key && key->modifierChange ? handleKey(*key) : false;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

bool MASShortcutView::handleKey(const TranslatedKey& key)
{
    const MASShortcut shortcut = MASShortcut::shortcutWithEvent(key.keyCode, key.modifierFlags);
    if (!key.modifierChange) {
        if (key.keyCode == kVK_Delete || key.keyCode == kVK_ForwardDelete) {
            setShortcutValue(std::nullopt);
            setRecording(false);
            return true;
        }
        if (key.keyCode == kVK_Escape || shouldBypass(shortcut)) {
            setRecording(false);
            return false;
        }
    }
    if (key.modifierChange || shortcut.keyCodeString().empty()) {
        setShortcutPlaceholder(toQString(MASShortcut(0, key.modifierFlags).modifierFlagsString()));
        return true;
    }
    if (!shortcut.isValid()) {
        QApplication::beep();
        return true;
    }
    if (Error error; isTaken(shortcut, &error)) {
        setMonitoring(false);
        showTakenAlert(shortcut, error);
        setShortcutPlaceholder({});
        if (recording_) setMonitoring(true);
        return true;
    }
    setShortcutValue(shortcut);
    setRecording(false);
    return true;
}

bool MASShortcutView::isTaken(const MASShortcut& shortcut, Error* error) const
{
    if (shortcut.isTakenError(error, mainMenuSlot())) return true;
    // Recording the shortcut the field already has changes nothing.
    if (shortcutValue_ == shortcut) return false;
    if (MASShortcutMonitor::probeRegistration(shortcut) != eventHotKeyExistsErr) return false;
    const bool ours = MASShortcutMonitor::copyOfMASRegisteredHotKeys().count(
                          MASShortcutMonitor::monitorIdentifier(shortcut)) > 0;
    if (error) {
        error->domain = "NSCocoaErrorDomain";
        error->code = 0;
        error->localizedDescription = TVIUiText::localizedStd(
            ours ? "This shortcut cannot be used because it is already used by another <AppName> action."
                 : "This combination cannot be used because another application already uses it as a global "
                   "shortcut.");
    }
    return true;
}

void MASShortcutView::showTakenAlert(const MASShortcut& shortcut, const Error& error)
{
    Alert alert;
    alert.alertStyle = AlertStyle::Critical;
    alert.messageText = format(TVIUiText::localizedStd("The key combination %@ cannot be used"), shortcut.description());
    alert.informativeText = error.localizedDescription;
    alert.buttons = {TVIUiText::localizedStd("OK")};
    Platform::get<Alerts>()->runModal(alert);
}

void MASShortcutView::setMonitoring(bool on)
{
    if (on == monitoring_) return;
    monitoring_ = on;
    if (!on) {
        qApp->removeEventFilter(this);
        disconnect(resignObserver_);
        return;
    }
    qApp->installEventFilter(this);
    // Focus moves through "no window" on its way between two windows: look again a moment later.
    resignObserver_ = connect(qApp, &QGuiApplication::focusWindowChanged, this, [this] {
        QTimer::singleShot(150, this, [this] {
            if (monitoring_ && QGuiApplication::focusWindow() != window()->windowHandle()) setRecording(false);
        });
    });
}

void MASShortcutView::updateAccessibleText() { setAccessibleDescription(shortcutText()); }

}
