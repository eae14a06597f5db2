#include "ui/MASPreferencesWindowController.h"
#include "ui/TVIWindowPlacement.h"

#include "foundation/Format.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QToolBar>

namespace tvi {

namespace {

std::string paneFrameKey(const QString& identifier)
{
    return format(MASPreferencesWindowController::kPaneFrameKeyFormat, identifier.toStdString());
}

std::vector<int> numbersIn(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("-?\\d+(\\.\\d+)?"));
    std::vector<int> numbers;
    for (auto match = number.globalMatch(text); match.hasNext();)
        numbers.push_back(qRound(match.next().captured(0).toDouble()));
    return numbers;
}

// A view's size now: its own once something sized it, else what its layout asks for.
QSize currentBounds(QWidget& view)
{
    if (view.testAttribute(Qt::WA_Resized)) return view.size();
    return view.sizeHint().expandedTo(view.minimumSizeHint());
}

}

MASPreferencesWindowController::MASPreferencesWindowController(Panes panes, const QString& title)
    : MASPreferencesWindowController(std::move(panes), title, UserDefaults::standard())
{
}

MASPreferencesWindowController::MASPreferencesWindowController(Panes panes, const QString& title,
                                                               UserDefaults& defaults)
    : defaults_(defaults), panes_(std::move(panes)), title_(title), window_(std::make_unique<QMainWindow>())
{
    window_->setObjectName(QStringLiteral("MASPreferencesWindow"));
    window_->setCentralWidget(new QWidget);
    buildToolbar();
    windowDidLoad();
}

MASPreferencesWindowController::~MASPreferencesWindowController()
{
    window_->removeEventFilter(this);
    if (selected_) {
        selected_->view()->removeEventFilter(this);
        window_->takeCentralWidget()->setParent(nullptr); // the pane owns its view
    }
    window_.reset();
}

void MASPreferencesWindowController::buildToolbar()
{
    toolbar_ = window_->addToolBar(QStringLiteral("Panes"));
    toolbar_->setObjectName(QStringLiteral("MASPreferencesToolbar"));
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar_->setIconSize(QSize(32, 32));
    toolbar_->toggleViewAction()->setVisible(false);
    window_->setContextMenuPolicy(Qt::NoContextMenu);
    toolbarItems_ = new QActionGroup(window_.get());
    toolbarItems_->setExclusive(true);
    for (const auto& pane : panes_) {
        if (!pane) {
            auto* space = new QWidget(toolbar_);
            space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
            toolbar_->addWidget(space);
            continue;
        }
        QAction* item = toolbar_->addAction(pane->toolbarItemImage(), pane->toolbarItemLabel());
        item->setObjectName(pane->identifier());
        item->setData(pane->identifier());
        item->setCheckable(true);
        toolbarItems_->addAction(item);
        const QString identifier = pane->identifier();
        connect(item, &QAction::triggered, this,
                [this, identifier] { setSelectedViewController(viewControllerForIdentifier(identifier)); });
    }
    // Keyboard: Control+Tab and Control+Shift+Tab (or Control+Page Down/Up) go through the panes,
    // Control+W closes.
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)})
        connect(new QShortcut(keys, window_.get()), &QShortcut::activated, this, &MASPreferencesWindowController::goNextTab);
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
                                     QKeySequence(Qt::CTRL | Qt::Key_PageUp)})
        connect(new QShortcut(keys, window_.get()), &QShortcut::activated, this,
                &MASPreferencesWindowController::goPreviousTab);
    connect(new QShortcut(QKeySequence::Close, window_.get()), &QShortcut::activated, window_.get(), &QWidget::close);
}

void MASPreferencesWindowController::windowDidLoad()
{
    if (!title_.isEmpty()) window_->setWindowTitle(title_);
    if (firstViewController()) {
        const auto stored = defaults_.stringForKey(kSelectedIdentifierKey);
        MASPreferencesViewController* pane = stored ? viewControllerForIdentifier(QString::fromStdString(*stored)) : nullptr;
        setSelectedViewController(pane ? pane : firstViewController());
    }
    if (const auto point = defaults_.stringForKey(kFrameTopLeftKey)) {
        if (const auto topLeft = pointFromString(QString::fromStdString(*point))) {
            window_->move(*topLeft);
            placed_ = true;
        }
    }
    window_->installEventFilter(this);
}

void MASPreferencesWindowController::showWindow()
{
    if (!placed_) {
        // No stored place yet: centred on the screen, as a fresh window would be.
        window_->move(TVIWindowPlacement::centredOnPrimaryScreen(window_->size()));
        placed_ = true;
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void MASPreferencesWindowController::setSelectedViewController(MASPreferencesViewController* pane)
{
    if (pane == selected_) return;
    if (selected_) {
        if (!selected_->commitEditing()) {
            checkToolbarItem(selected_->identifier());
            return;
        }
        selected_->view()->removeEventFilter(this);
        window_->takeCentralWidget()->setParent(nullptr);
        window_->setCentralWidget(new QWidget);
        MASPreferencesViewController* old = selected_;
        selected_ = nullptr;
        old->viewDidDisappear();
    }
    if (!pane) return;
    if (title_.isEmpty()) window_->setWindowTitle(pane->toolbarItemLabel());
    checkToolbarItem(pane->identifier());
    defaults_.setString(pane->identifier().toStdString(), kSelectedIdentifierKey);
    defaults_.synchronize();

    switching_ = true;
    fitWindowAround(*pane);
    selected_ = pane;
    pane->viewWillAppear();
    QWidget* view = pane->view();
    delete window_->takeCentralWidget();
    window_->setCentralWidget(view);
    view->show();
    window_->layout()->activate(); // the view takes its place now, also in a hidden window
    view->installEventFilter(this);
    switching_ = false;

    QWidget* focus = window_->focusWidget();
    if (!focus || !view->isAncestorOf(focus)) {
        if (QWidget* key = pane->initialKeyView())
            key->setFocus(Qt::OtherFocusReason);
        else
            view->nextInFocusChain()->setFocus(Qt::TabFocusReason);
    }
    emit didChangeView();
    NotificationCenter::defaultCenter().post(kDidChangeViewNotification, this);
}

void MASPreferencesWindowController::fitWindowAround(MASPreferencesViewController& pane)
{
    QWidget& view = *pane.view();
    const QString identifier = pane.identifier();
    QSize bounds = currentBounds(view);
    if (const auto stored = defaults_.stringForKey(paneFrameKey(identifier)))
        if (const auto rect = rectFromString(QString::fromStdString(*stored))) bounds = rect->size();
    const QSize minimum = minimumViewRects_.try_emplace(identifier, currentBounds(view)).first->second;

    const bool widthFlexible = pane.isWidthFlexible();
    const bool heightFlexible = pane.isHeightFlexible();
    const QSize size(!widthFlexible || bounds.width() < minimum.width() ? minimum.width() : bounds.width(),
                     !heightFlexible || bounds.height() < minimum.height() ? minimum.height() : bounds.height());

    // The window's size is found by its layout with the view held at the new size, so that
    // the toolbar's height is the style's; then the view may shrink to its minimum again.
    view.setMinimumSize(size);
    view.setMaximumSize(widthFlexible ? QWIDGETSIZE_MAX : size.width(), heightFlexible ? QWIDGETSIZE_MAX : size.height());
    view.resize(size);
    QWidget* placeholder = window_->takeCentralWidget();
    window_->setCentralWidget(&view);
    window_->layout()->activate();
    const QSize windowSize = window_->layout()->minimumSize();
    window_->takeCentralWidget()->setParent(nullptr);
    window_->setCentralWidget(placeholder);
    view.setMinimumSize(minimum);
    window_->setMinimumSize(0, 0);
    window_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window_->resize(windowSize); // resizing keeps the top-left corner where it is
}

void MASPreferencesWindowController::checkToolbarItem(const QString& identifier)
{
    for (QAction* item : toolbarItems_->actions()) item->setChecked(item->data().toString() == identifier);
}

void MASPreferencesWindowController::selectControllerAtIndex(std::size_t index)
{
    if (index >= panes_.size() || !panes_[index]) return;
    setSelectedViewController(panes_[index].get());
}

void MASPreferencesWindowController::goNextTab() { selectRelative(1); }

void MASPreferencesWindowController::goPreviousTab() { selectRelative(-1); }

void MASPreferencesWindowController::selectRelative(int step)
{
    if (panes_.empty()) return;
    const auto count = static_cast<int>(panes_.size());
    const auto selectedIndex = indexOfSelectedController();
    int index = selectedIndex ? static_cast<int>(*selectedIndex) : (step > 0 ? -1 : 0);
    for (int tried = 0; tried < count; ++tried) {
        index = ((index + step) % count + count) % count;
        if (panes_[static_cast<std::size_t>(index)]) {
            setSelectedViewController(panes_[static_cast<std::size_t>(index)].get());
            return;
        }
    }
}

std::optional<std::size_t> MASPreferencesWindowController::indexOfSelectedController() const
{
    if (!selected_) return std::nullopt;
    const QStringList identifiers = toolbarItemIdentifiers();
    const auto index = identifiers.indexOf(selected_->identifier());
    if (index < 0) return std::nullopt;
    return static_cast<std::size_t>(index);
}

MASPreferencesViewController* MASPreferencesWindowController::viewControllerForIdentifier(const QString& identifier) const
{
    for (const auto& pane : panes_)
        if (pane && pane->identifier() == identifier) return pane.get();
    return nullptr;
}

MASPreferencesViewController* MASPreferencesWindowController::firstViewController() const
{
    for (const auto& pane : panes_)
        if (pane) return pane.get();
    return nullptr;
}

QStringList MASPreferencesWindowController::toolbarItemIdentifiers() const
{
    QStringList identifiers;
    for (const auto& pane : panes_) identifiers << (pane ? pane->identifier() : QString(kFlexibleSpaceIdentifier));
    return identifiers;
}

std::optional<QSize> MASPreferencesWindowController::minimumViewSize(const QString& identifier) const
{
    auto found = minimumViewRects_.find(identifier);
    if (found == minimumViewRects_.end()) return std::nullopt;
    return found->second;
}

bool MASPreferencesWindowController::windowShouldClose() { return !selected_ || selected_->commitEditing(); }

bool MASPreferencesWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_.get()) {
        if (event->type() == QEvent::Close && !windowShouldClose()) {
            event->ignore();
            return true;
        }
        if (event->type() == QEvent::Move && window_->isVisible()) {
            defaults_.setString(stringFromPoint(window_->pos()).toStdString(), kFrameTopLeftKey);
            defaults_.synchronize();
        }
    } else if (event->type() == QEvent::Resize && selected_ && watched == selected_->view()) {
        if (!switching_ && window_->isVisible()) storePaneSize();
    }
    return QObject::eventFilter(watched, event);
}

void MASPreferencesWindowController::storePaneSize()
{
    const QRect bounds(QPoint(), selected_->view()->size());
    defaults_.setString(stringFromRect(bounds).toStdString(), paneFrameKey(selected_->identifier()));
    defaults_.synchronize();
}

QString MASPreferencesWindowController::stringFromPoint(const QPoint& point)
{
    return QStringLiteral("{%1, %2}").arg(point.x()).arg(point.y());
}

QString MASPreferencesWindowController::stringFromRect(const QRect& rect)
{
    return QStringLiteral("{{%1, %2}, {%3, %4}}").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

std::optional<QPoint> MASPreferencesWindowController::pointFromString(const QString& text)
{
    const std::vector<int> numbers = numbersIn(text);
    if (numbers.size() != 2) return std::nullopt;
    return QPoint(numbers[0], numbers[1]);
}

std::optional<QRect> MASPreferencesWindowController::rectFromString(const QString& text)
{
    const std::vector<int> numbers = numbersIn(text);
    if (numbers.size() != 4 || numbers[2] <= 0 || numbers[3] <= 0) return std::nullopt;
    return QRect(numbers[0], numbers[1], numbers[2], numbers[3]);
}

}
