#include "ui/TVIPopoverViewController.h"

#include "app/TVIPreferenceKeys.h"
#include "diagnostics/DDLogMacros.h"
#include "environment/DirectoryLocations.h"
#include "environment/TVIVibrancyUtils.h"
#include "foundation/Bundle.h"
#include "foundation/UserDefaults.h"
#include "platform/Contacts.h"
#include "platform/MailComposer.h"
#include "platform/Platform.h"
#include "ui/AXStatusItemPopup.h"
#include "ui/TVIAbPluginHost.h"
#include "ui/TVIBorderView.h"
#include "ui/TVIPickerViewController.h"
#include "ui/TVIUiText.h"

#include <QButtonGroup>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace tvi {
namespace {

constexpr int kNormalContentHeight = 180;
constexpr int kDrawerWidth = 300;
constexpr QSize kPopoverSize(340, 320);

// Bar images: the bundle's PNG when there is one, else the desktop theme's nearest icon, else a
// short text.
struct ImageFallback {
    const char* name;
    const char* themeIcon;
    const char* text;
};
constexpr ImageFallback kImages[] = {
    {"NSUser", "avatar-default", "\u263A"},
    {"AnchorIconLight", "", "\u2693"},
    {"AnchorIconLightPressed", "", "\u2693"},
    {"increaseheight", "go-down", "\u25BC"},
    {"decreaseheight", "go-up", "\u25B2"},
};

QIcon imageNamed(const char* name, QString& text)
{
    if (const auto path = Bundle::mainBundle().pathForResource(name, "png")) return QIcon(QString::fromStdString(*path));
    for (const ImageFallback& image : kImages)
        if (std::string_view(image.name) == name) {
            text = QString::fromUtf8(image.text);
            return *image.themeIcon ? QIcon::fromTheme(QString::fromLatin1(image.themeIcon)) : QIcon();
        }
    return {};
}

QToolButton* barButton(const char* objectName)
{
    auto* button = new QToolButton;
    button->setObjectName(QString::fromLatin1(objectName));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

QRect screenAround(const QPoint& point)
{
    QScreen* screen = QGuiApplication::screenAt(point);
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

}

TVIPopoverViewController::TVIPopoverViewController()
{
    DDLogInfo("%@: Mini View enabled:%hhd", static_cast<signed char>(isMiniViewEnabled()));
}

QWidget* TVIPopoverViewController::view()
{
    if (!view_) buildBar();
    return view_;
}

void TVIPopoverViewController::buildBar()
{
    plugin_ = std::shared_ptr<TVIAbPluginHost>(TVIAbPluginHost::load(TVIAbPluginHost::installedBundlePath()));
    // Popover form: its own picker in a popup window next to the button.
    pickerViewController_ = std::make_unique<TVIPickerViewController>(TVIPickerPeopleAutoSaveName, plugin_);
    // Drawer form: a second picker in the panel beside the bar.
    pickerViewController2_ = std::make_unique<TVIPickerViewController>(TVIPickerPeopleAutoSaveName2, plugin_);
    buildView();
    buildMoreMenu();

    if (isMiniViewEnabled()) applyMiniGeometry(true);
    showHeightButton(isMiniViewEnabled());
    setButtonImage(buttonAnchor_, isAlwaysOnTopEnabled() ? "AnchorIconLightPressed" : "AnchorIconLight");

    const int stored = segController_.selectedPickerView() == 1 ? 1 : 0;
    buttonSegmented_->button(stored)->setChecked(true);

    for (TVIPickerViewController* picker : {pickerViewController_.get(), pickerViewController2_.get()})
        connect(picker, &TVIPickerViewController::selectionChanged, this,
                [] { DDLogInfo("%@: => ABPeoplePickerNameSelectionDidChangeNotification"); });

    connect(buttonSegmented_, &QButtonGroup::idClicked, this, [this](int id) {
        segController_.click(id);
        showPickerView(buttonSegmented_->button(id));
    });
}

TVIPopoverViewController::~TVIPopoverViewController()
{
    if (statusItemPopup_) statusItemPopup_->setDelegate(nullptr);
    // The pickers own their views: take them out of the windows before either goes.
    if (pickerViewController_) pickerViewController_->view()->setParent(nullptr);
    if (pickerViewController2_) pickerViewController2_->view()->setParent(nullptr);
    if (view_ && !view_->parent()) delete view_.data();
}

void TVIPopoverViewController::buildView()
{
    view_ = new QWidget;
    view_->setObjectName(QStringLiteral("TVIPopoverViewController"));
    auto* bar = new QWidget;
    topBorderView_ = new TVIBorderView(TVIBorderView::Edge::Top);
    bottomBorderView_ = new TVIBorderView(TVIBorderView::Edge::Bottom);
    bottomBorderView_->setFixedHeight(12);
    contentView_ = new QWidget;
    contentView_->setObjectName(QStringLiteral("contentView"));
    contentView_->setFixedHeight(kNormalContentHeight);

    buttonSegmented_ = new QButtonGroup(view_);
    buttonSegmented_->setExclusive(true);
    const char* segmentTexts[] = {"\u25E7", "\u25F3"};
    const char* segmentTips[] = {"Slide out the contacts view", "Pop out the contacts view"};
    auto* header = new QHBoxLayout(topBorderView_);
    header->setContentsMargins(6, 4, 6, 4);
    for (int index = 0; index < 2; ++index) {
        QToolButton* segment = barButton(index == 0 ? "segment0" : "segment1");
        segment->setCheckable(true);
        segment->setText(QString::fromUtf8(segmentTexts[index]));
        segment->setToolTip(TVIUiText::localized(segmentTips[index]));
        buttonSegmented_->addButton(segment, index);
        header->addWidget(segment);
    }
    buttonContacts_ = barButton("buttonContacts");
    setButtonImage(buttonContacts_, "NSUser");
    buttonContacts_->setToolTip(TVIUiText::localized("Select a contact"));
    buttonMore_ = barButton("buttonMore");
    buttonMore_->setText(QStringLiteral("\u2026"));
    buttonMore_->setToolTip(TVIUiText::localized("Additional Actions"));
    buttonMore_->setPopupMode(QToolButton::InstantPopup);
    buttonAnchor_ = barButton("buttonAnchor");
    buttonAnchor_->setToolTip(TVIUiText::localized("Anchor window to stay on top"));
    buttonResizeHeight_ = barButton("buttonResizeHeight");
    header->addWidget(buttonContacts_);
    header->addStretch(1);
    header->addWidget(buttonMore_);
    header->addWidget(buttonAnchor_);
    header->addWidget(buttonResizeHeight_);

    auto* column = new QVBoxLayout(bar);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(topBorderView_);
    column->addWidget(contentView_);
    column->addWidget(bottomBorderView_);
    bar->setFixedWidth(320);

    drawer_ = new QWidget;
    drawer_->setObjectName(QStringLiteral("drawer"));
    auto* drawerLayout = new QVBoxLayout(drawer_);
    drawerLayout->setContentsMargins(4, 4, 4, 4);
    drawerLayout->addWidget(pickerViewController2_->view());
    drawer_->setFixedWidth(0);
    drawer_->hide();

    auto* row = new QHBoxLayout(view_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->setSizeConstraint(QLayout::SetFixedSize);
    row->addWidget(bar, 0, Qt::AlignTop);
    row->addWidget(drawer_);

    popover_ = new QWidget(view_, Qt::Popup | Qt::FramelessWindowHint);
    popover_->setObjectName(QStringLiteral("NSPopover"));
    auto* popoverLayout = new QVBoxLayout(popover_);
    popoverLayout->setContentsMargins(4, 4, 4, 4);
    popoverLayout->addWidget(pickerViewController_->view());
    popover_->resize(kPopoverSize);
    popover_->installEventFilter(this);

    drawerAnimation_ = new QVariantAnimation(this);
    connect(drawerAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& width) {
        drawer_->setFixedWidth(width.toInt());
        keepPopupOnScreen();
    });

    connect(buttonContacts_, &QToolButton::clicked, this, [this] { showNSPopover(buttonContacts_); });
    connect(buttonAnchor_, &QToolButton::clicked, this, [this] { toggleAlwaysOnTop(); });
    connect(buttonResizeHeight_, &QToolButton::clicked, this, [this] { toggleMiniView(); });
}

void TVIPopoverViewController::buildMoreMenu()
{
    buttonMoreMenu_ = new QMenu(view_);
    editContactInAbMenuItem_ = buttonMoreMenu_->addAction(TVIUiText::localized("Edit Contact in Address Book"));
    openContactInAbMenuItem_ = buttonMoreMenu_->addAction(TVIUiText::localized("Open Contact in Address Book"));
    sendVcardAsAttachmentMenuItem_ = buttonMoreMenu_->addAction(TVIUiText::localized("Send Vcard as Attachment"));
    connect(editContactInAbMenuItem_, &QAction::triggered, this, [this] { editSelectedContactInAB(); });
    connect(openContactInAbMenuItem_, &QAction::triggered, this, [this] { showSelectedContactInAB(); });
    connect(sendVcardAsAttachmentMenuItem_, &QAction::triggered, this, [this] { makeVCard(); });
    // A pull-down: the button opens the menu and keeps its own face.
    buttonMore_->setMenu(buttonMoreMenu_);
}

void TVIPopoverViewController::setStatusItemPopup(AXStatusItemPopup* popup)
{
    statusItemPopup_ = popup;
    if (!popup) return;
    popup->setDelegate(this);
    if (isMiniViewEnabled()) popup->resizePopoverToMini();
}

void TVIPopoverViewController::setButtonImage(QToolButton* button, const char* name)
{
    QString text;
    const QIcon icon = imageNamed(name, text);
    button->setProperty("imageName", QString::fromLatin1(name));
    button->setIcon(icon);
    button->setText(icon.isNull() ? text : QString());
    button->setToolButtonStyle(icon.isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
}

QAbstractButton* TVIPopoverViewController::segment(int index) const { return buttonSegmented_->button(index); }

// Contact list ---------------------------------------------------------------------------------

void TVIPopoverViewController::showPickerView(QAbstractButton* sender)
{
    applyPopoverAppearance();
    if (buttonSegmented_->checkedId() == 1) {
        if (popoverShown()) {
            closePopover();
            return;
        }
        if (drawerState_ == DrawerState::Opening || drawerState_ == DrawerState::Open) closeDrawer();
        showNSPopover(sender);
        return;
    }
    if (popoverShown()) closePopover();
    toggleDrawer();
}

void TVIPopoverViewController::showNSPopover(QWidget* sender)
{
    if (popoverShown()) {
        closePopover();
        return;
    }
    loadPluginIfNeeded();
    // Under the button, or above it where the screen ends.
    const QPoint below = sender->mapToGlobal(QPoint(0, sender->height()));
    const QRect area = screenAround(below);
    QPoint at = below;
    if (at.y() + popover_->height() > area.bottom()) at.setY(sender->mapToGlobal(QPoint(0, 0)).y() - popover_->height());
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - popover_->width())));
    popover_->move(at);
    popover_->show();
    pickerViewController_->searchField()->setFocus();
}

bool TVIPopoverViewController::popoverShown() const { return popover_->isVisible(); }

void TVIPopoverViewController::closePopover()
{
    closingPopoverOurselves_ = true;
    popover_->close();
    closingPopoverOurselves_ = false;
}

bool TVIPopoverViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == popover_ && event->type() == QEvent::Hide) popoverHidden();
    return QObject::eventFilter(watched, event);
}

void TVIPopoverViewController::popoverHidden()
{
    if (closingPopoverOurselves_ || !view_ || !view_->isVisible()) return;
    // A click elsewhere folded the contact popover away (Qt closes the innermost popup first):
    // the popup follows a second later, as when it is asked itself. A click on the bar is no
    // click elsewhere.
    if (view_->window()->frameGeometry().contains(QCursor::pos())) return;
    QTimer::singleShot(kFoldAwayMilliseconds, this, [this] { tryClosingAxStatusPopover(); });
}

void TVIPopoverViewController::toggleDrawer()
{
    if (drawerState_ == DrawerState::Opening || drawerState_ == DrawerState::Open) closeDrawer();
    else openDrawer();
}

void TVIPopoverViewController::openDrawer()
{
    loadPluginIfNeeded();
    drawer_->show();
    animateDrawer(kDrawerWidth, DrawerState::Opening, DrawerState::Open);
    pickerViewController2_->searchField()->setFocus();
}

void TVIPopoverViewController::closeDrawer()
{
    if (drawerState_ == DrawerState::Closed || drawerState_ == DrawerState::Closing) return;
    animateDrawer(0, DrawerState::Closing, DrawerState::Closed);
}

void TVIPopoverViewController::animateDrawer(int toWidth, DrawerState during, DrawerState after)
{
    drawerAnimation_->stop();
    disconnect(drawerAnimation_, &QVariantAnimation::finished, this, nullptr);
    auto finish = [this, after] {
        drawerState_ = after;
        if (after == DrawerState::Closed) drawer_->hide();
        keepPopupOnScreen();
    };
    if (drawerMilliseconds_ <= 0) {
        drawer_->setFixedWidth(toWidth);
        finish();
        return;
    }
    drawerState_ = during;
    drawerAnimation_->setStartValue(drawer_->width());
    drawerAnimation_->setEndValue(toWidth);
    drawerAnimation_->setDuration(drawerMilliseconds_);
    connect(drawerAnimation_, &QVariantAnimation::finished, this, finish);
    drawerAnimation_->start();
}

void TVIPopoverViewController::keepPopupOnScreen()
{
    QWidget* window = view_->window();
    if (window == view_) return;
    window->adjustSize();
    const QRect frame = window->frameGeometry();
    const QRect area = screenAround(frame.topLeft());
    // The drawer slides out to the right; near the screen's edge the popup moves left instead.
    if (frame.right() > area.right()) window->move(std::max(area.left(), area.right() - frame.width() + 1), frame.y());
}

void TVIPopoverViewController::applyPopoverAppearance()
{
    if (!TVIVibrancyUtils::systemSupportsVibrancy()) return;
    QString style;
    if (!UserDefaults::standard().boolForKey(TVIEnableVibrantAppearance)) {
        DDLogInfo("%@: Enable vibrant appearance is unchecked");
    } else if (TVIVibrancyUtils::isDarkMode()) {
        DDLogInfo("%@: Enable vibrant appearance is checked and darkMode is true");
        style = QStringLiteral("#NSPopover { background: rgba(40, 40, 40, 235); color: white; }");
    } else {
        DDLogInfo("%@: Enable vibrant appearance is checked and lightMode is true");
        style = QStringLiteral("#NSPopover { background: rgba(246, 246, 246, 235); }");
    }
    popover_->setStyleSheet(style);
}

void TVIPopoverViewController::loadPluginIfNeeded()
{
    // The installer copies the plug-in in the background at start; it may have arrived since.
    if (plugin_) return;
    plugin_ = std::shared_ptr<TVIAbPluginHost>(TVIAbPluginHost::load(TVIAbPluginHost::installedBundlePath()));
    if (!plugin_) return;
    pickerViewController_->setPlugin(plugin_);
    pickerViewController2_->setPlugin(plugin_);
}

// Closing ---------------------------------------------------------------------------------------

bool TVIPopoverViewController::shouldPopupClose()
{
    if (drawerState_ != DrawerState::Closed) {
        closeDrawer();
        QTimer::singleShot(kFoldAwayMilliseconds, this, [this] { tryClosingAxStatusPopover(); });
        return false;
    }
    if (popoverShown()) {
        closePopover();
        QTimer::singleShot(kFoldAwayMilliseconds, this, [this] { tryClosingAxStatusPopover(); });
        return false;
    }
    return !isAlwaysOnTopEnabled();
}

void TVIPopoverViewController::tryClosingAxStatusPopover()
{
    if (statusItemPopup_) statusItemPopup_->hidePopover();
}

void TVIPopoverViewController::popupDidOpen()
{
    loadPluginIfNeeded();
    // The keyboard starts on the chosen form's segment.
    if (QAbstractButton* chosen = buttonSegmented_->checkedButton()) chosen->setFocus();
}

// Anchor and mini view --------------------------------------------------------------------------

bool TVIPopoverViewController::isAlwaysOnTopEnabled()
{
    return UserDefaults::standard().boolForKey(TVIPickerPeopleAlwaysOnTop);
}

void TVIPopoverViewController::setAlwaysOnTop(bool on)
{
    UserDefaults::standard().setBool(on, TVIPickerPeopleAlwaysOnTop);
    UserDefaults::standard().synchronize();
}

bool TVIPopoverViewController::isMiniViewEnabled() { return UserDefaults::standard().boolForKey(TVIIsMiniViewEnabled); }

void TVIPopoverViewController::setMiniViewEnabled(bool on)
{
    UserDefaults::standard().setBool(on, TVIIsMiniViewEnabled);
    UserDefaults::standard().synchronize();
}

void TVIPopoverViewController::toggleAlwaysOnTop()
{
    if (isAlwaysOnTopEnabled()) {
        setAlwaysOnTop(false);
        setButtonImage(buttonAnchor_, "AnchorIconLight");
        DDLogInfo("%@: set to No");
    } else {
        setAlwaysOnTop(true);
        setButtonImage(buttonAnchor_, "AnchorIconLightPressed");
        DDLogInfo("%@: set to Yes");
    }
}

void TVIPopoverViewController::toggleMiniView()
{
    const bool mini = isMiniViewEnabled();
    DDLogInfo("%@: Mini View enabled:%hhd", static_cast<signed char>(mini));
    applyMiniGeometry(!mini);
    if (statusItemPopup_) {
        if (mini) statusItemPopup_->resizePopoverToNormal();
        else statusItemPopup_->resizePopoverToMini();
    }
    showHeightButton(!mini);
    setMiniViewEnabled(!mini);
    view_->update();
}

void TVIPopoverViewController::applyMiniGeometry(bool mini)
{
    contentView_->setFixedHeight(mini ? kNormalContentHeight - kMiniDifference : kNormalContentHeight);
    keepPopupOnScreen();
}

void TVIPopoverViewController::showHeightButton(bool mini)
{
    setButtonImage(buttonResizeHeight_, mini ? "increaseheight" : "decreaseheight");
    buttonResizeHeight_->setToolTip(TVIUiText::localized(mini ? "Increase height" : "Decrease height"));
}

// Additional actions ----------------------------------------------------------------------------

TVIPickerViewController* TVIPopoverViewController::selectedPicker() const
{
    return buttonSegmented_->checkedId() == 1 ? pickerViewController_.get() : pickerViewController2_.get();
}

void TVIPopoverViewController::editSelectedContactInAB() { openInContactsApplication("editInAddressBook"); }

void TVIPopoverViewController::showSelectedContactInAB() { openInContactsApplication("selectInAddressBook"); }

void TVIPopoverViewController::openInContactsApplication(const char* operation)
{
    const std::optional<Contact> contact = selectedPicker()->selectedContact();
    if (!contact) {
        DDLogInfo("%@: => %@: no contact selected", std::string(operation));
        return;
    }
    const std::optional<std::string> file = vcardFileFor(*contact);
    if (!file) return;
    // The desktop has no common contacts application: the card opens with its default one.
    const bool started = QProcess::startDetached(QStringLiteral("xdg-open"), {QString::fromStdString(*file)});
    if (started) DDLogInfo("%@: => %@: opened %@ with xdg-open", std::string(operation), *file);
    else DDLogError("%@: => %@: could not start xdg-open for %@", std::string(operation), *file);
}

std::optional<std::string> TVIPopoverViewController::vcardFileFor(const Contact& contact) const
{
    std::error_code error;
    // A vdir card is a file of its own; a card of a whole exported address book is copied out.
    if (!contact.path.empty() && std::filesystem::is_directory(Platform::get<Contacts>()->source(), error))
        return contact.path;
    const std::optional<std::string> folder = DirectoryLocations::applicationSupportDirectory();
    if (!folder) return std::nullopt;
    const std::string path = *folder + "/contact.vcf";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contact.vcard;
    if (!out.flush()) {
        DDLogError("%@: Could not write %@", path);
        return std::nullopt;
    }
    return path;
}

void TVIPopoverViewController::makeVCard()
{
    DDLogInfo("%@: => makeVCard Action");
    const std::optional<Contact> contact = selectedPicker()->selectedContact();
    const std::optional<std::string> folder = DirectoryLocations::applicationSupportDirectory();
    if (!contact || !folder) return;
    const std::string path = *folder + "/vcard.vcf";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contact->vcard;
    if (!out.flush()) {
        DDLogError("%@: Could not write %@", path);
        return;
    }
    out.close();
    MailMessage message;
    message.subject = contact->name;
    message.attachments = {path};
    const MailOutcome outcome = Platform::get<MailComposer>()->send(message);
    if (!outcome.sent) DDLogError("%@: The vCard mail could not be handed over: %@", outcome.errorDescription);
}

}
