#include "ui/GeneralPreferencesViewController.h"

#include "app/TVIAppPreferences.h"
#include "diagnostics/DDLogMacros.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "platform/Contacts.h"
#include "platform/Platform.h"
#include "ui/TVIUiText.h"
#include "update/SUUpdater.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStandardPaths>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>

#include <array>
#include <chrono>
#include <cmath>

namespace tvi {

namespace {

// Three sliders drawn in the palette's colours, the same size and style as the Shortcuts pane's
// keyboard: the style's stock icons are smaller and would set the two toolbar items unevenly.
QIcon drawnSlidersIcon(const QPalette& palette)
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink = palette.color(QPalette::WindowText);
    for (int row = 0; row < 3; ++row) {
        const qreal y = 18 + row * 14;
        painter.setPen(QPen(ink, 3, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(8, y), QPointF(56, y));
        painter.setBrush(palette.color(QPalette::Base));
        painter.drawEllipse(QPointF(std::array<qreal, 3>{40, 20, 46}[std::size_t(row)], y), 5.5, 5.5);
    }
    return QIcon(pixmap);
}

// The pane's height before the text sizes of this desktop are known.
constexpr int kViewHeight = 270;

}

GeneralPreferencesViewController::GeneralPreferencesViewController(TVIAppPreferences& preferences, SUUpdater& updater)
    : preferences_(preferences), updater_(updater), view_(std::make_unique<QWidget>())
{
    buildView();
    startLoginChkbox_->setChecked(preferences_.preferenceStartAtLogin());
    showUpdaterSettings();
    updateLastUpdateLabel();
    showContactsSource();
    QWidget* context = view_.get();
    NotificationCenter::defaultCenter().addObserver(
        "lastUpdateCheckDateUpdated", nullptr,
        [this, context](const Notification&) {
            QMetaObject::invokeMethod(context, [this] { updateLastUpdateLabel(); },
                                      QThread::currentThread() == context->thread() ? Qt::DirectConnection
                                                                                    : Qt::QueuedConnection);
        },
        this);
}

GeneralPreferencesViewController::~GeneralPreferencesViewController()
{
    NotificationCenter::defaultCenter().removeObserversForOwner(this);
}

void GeneralPreferencesViewController::buildView()
{
    view_->setObjectName(identifier());
    generalBox_ = new QGroupBox(TVIUiText::localized("GeneralBox"));
    startLoginChkbox_ = new QCheckBox(TVIUiText::localized("Start Application at Login"));
    auto* generalLayout = new QVBoxLayout(generalBox_);
    generalLayout->addWidget(startLoginChkbox_);

    updatesBox_ = new QGroupBox(TVIUiText::localized("UpdatesBox"));
    autoCheckUpdateCheckbox_ = new QCheckBox(TVIUiText::localized("Automatically check for updates"));
    checkForUpdatesTextField_ = new QLabel(TVIUiText::localized("Check For Updates:"));
    intervalMenu_ = new QComboBox;
    intervalMenu_->addItem(TVIUiText::localized("Hourly"), kHourly);
    intervalMenu_->addItem(TVIUiText::localized("Daily"), kDaily);
    intervalMenu_->addItem(TVIUiText::localized("Weekly"), kWeekly);
    intervalMenu_->addItem(TVIUiText::localized("Monthly"), kMonthly);
    checkForUpdatesTextField_->setBuddy(intervalMenu_);
    lastUpdateLabel_ = new QLabel;
    lastUpdateLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* updatesLayout = new QFormLayout(updatesBox_);
    updatesLayout->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    updatesLayout->addRow(autoCheckUpdateCheckbox_);
    updatesLayout->addRow(checkForUpdatesTextField_, intervalMenu_);
    updatesLayout->addRow(lastUpdateLabel_);

    auto* layout = new QVBoxLayout(view_.get());
    layout->addWidget(generalBox_);
    layout->addWidget(buildContactsBox());
    layout->addWidget(updatesBox_);
    layout->addStretch(1);

    QObject::connect(startLoginChkbox_, &QCheckBox::toggled, view_.get(), [this] { changeApplicationLogin(); });
    QObject::connect(autoCheckUpdateCheckbox_, &QCheckBox::toggled, view_.get(), [this](bool on) {
        updater_.setAutomaticallyChecksForUpdates(on);
        intervalMenu_->setEnabled(on);
    });
    QObject::connect(intervalMenu_, &QComboBox::activated, view_.get(),
                     [this](int index) { updater_.setUpdateCheckInterval(intervalMenu_->itemData(index).toDouble()); });

    // The width the texts need and at least the height the pane always had; this first size
    // is the pane's minimum.
    const QSize hint = view_->sizeHint();
    view_->resize(std::max(hint.width(), 420), std::max(hint.height(), kViewHeight));
}

void GeneralPreferencesViewController::showUpdaterSettings()
{
    const bool automatic = updater_.automaticallyChecksForUpdates();
    autoCheckUpdateCheckbox_->setChecked(automatic);
    intervalMenu_->setEnabled(automatic);
    // A stored interval that is none of the four shows as the nearest one, without changing it.
    const double interval = updater_.updateCheckInterval();
    int nearest = 0;
    for (int index = 1; index < intervalMenu_->count(); ++index) {
        if (std::abs(intervalMenu_->itemData(index).toDouble() - interval) <
            std::abs(intervalMenu_->itemData(nearest).toDouble() - interval))
            nearest = index;
    }
    intervalMenu_->setCurrentIndex(nearest);
}

QIcon GeneralPreferencesViewController::toolbarItemImage() const
{
    const QIcon themed = QIcon::fromTheme(QStringLiteral("preferences-system"));
    return themed.isNull() ? drawnSlidersIcon(view_->palette()) : themed;
}

QString GeneralPreferencesViewController::toolbarItemLabel() const { return TVIUiText::localized("General"); }

QWidget* GeneralPreferencesViewController::initialKeyView() { return startLoginChkbox_; }

void GeneralPreferencesViewController::changeApplicationLogin()
{
    preferences_.setPreferenceStartAtLogin(startLoginChkbox_->isChecked());
}

QString GeneralPreferencesViewController::lastUpdateText() const
{
    const QString caption = TVIUiText::localized("Last check time:");
    const std::optional<PlistDate> last = updater_.lastUpdateCheckDate();
    if (!last) return caption;
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(last->time_since_epoch()).count();
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(milliseconds);
    const QLocale locale;
    // Medium date and time: the locale's short date, and its time with seconds.
    QString time = locale.timeFormat(QLocale::ShortFormat);
    if (!time.contains(QStringLiteral("ss"))) time.replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));
    const QString formatted = locale.toString(date.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                              locale.toString(date.time(), time);
    return QStringLiteral("%1 %2").arg(caption, formatted);
}

void GeneralPreferencesViewController::updateLastUpdateLabel() { lastUpdateLabel_->setText(lastUpdateText()); }

QString GeneralPreferencesViewController::defaultContactsSource()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/contacts");
}

void GeneralPreferencesViewController::applyStoredContactsSource()
{
    const std::optional<std::string> stored = UserDefaults::standard().stringForKey(kContactsSourceKey);
    const auto contacts = Platform::get<Contacts>();
    if (stored && !stored->empty() && contacts->source() != *stored) contacts->setSource(*stored);
}

QGroupBox* GeneralPreferencesViewController::buildContactsBox()
{
    auto* box = new QGroupBox(TVIUiText::localized("Contacts"));
    contactsSourceLabel_ = new QLabel;
    contactsSourceLabel_->setObjectName(QStringLiteral("contactsSource"));
    contactsSourceLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    contactsSourceLabel_->setWordWrap(true);
    auto* folder = new QPushButton(TVIUiText::localized("Choose Folder..."));
    auto* file = new QPushButton(TVIUiText::localized("Choose File..."));
    auto* standard = new QPushButton(TVIUiText::localized("Default"));
    folder->setToolTip(TVIUiText::localized("A folder of .vcf files, as vdirsyncer and khard keep it"));
    file->setToolTip(TVIUiText::localized("One exported .vcf file"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(folder);
    buttons->addWidget(file);
    buttons->addWidget(standard);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(new QLabel(TVIUiText::localized("Address book:")));
    layout->addWidget(contactsSourceLabel_);
    layout->addLayout(buttons);
    QObject::connect(folder, &QPushButton::clicked, view_.get(), [this] {
        const QString path = QFileDialog::getExistingDirectory(view_.get(), TVIUiText::localized("Contacts Folder"),
                                                               contactsSourceLabel_->text());
        if (!path.isEmpty()) setContactsSource(path);
    });
    QObject::connect(file, &QPushButton::clicked, view_.get(), [this] {
        const QString path = QFileDialog::getOpenFileName(view_.get(), TVIUiText::localized("Contacts File"),
                                                          contactsSourceLabel_->text(),
                                                          TVIUiText::localized("vCard files (*.vcf *.vcard)"));
        if (!path.isEmpty()) setContactsSource(path);
    });
    QObject::connect(standard, &QPushButton::clicked, view_.get(), [this] { setContactsSource({}); });
    return box;
}

void GeneralPreferencesViewController::setContactsSource(const QString& path)
{
    // An empty path goes back to the default, which follows XDG_DATA_HOME rather than being kept.
    const std::string chosen = (path.isEmpty() ? defaultContactsSource() : path).toStdString();
    if (path.isEmpty()) UserDefaults::standard().removeObjectForKey(kContactsSourceKey);
    else UserDefaults::standard().setString(chosen, kContactsSourceKey);
    UserDefaults::standard().synchronize();
    DDLogInfo("%@: => Contacts are read from %@", chosen);
    Platform::get<Contacts>()->setSource(chosen);
    showContactsSource();
}

void GeneralPreferencesViewController::showContactsSource()
{
    contactsSourceLabel_->setText(QString::fromStdString(Platform::get<Contacts>()->source()));
}

}
