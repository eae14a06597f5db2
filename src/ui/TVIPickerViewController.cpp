#include "ui/TVIPickerViewController.h"

#include "diagnostics/DDLogMacros.h"
#include "foundation/UserDefaults.h"
#include "platform/Platform.h"
#include "ui/TVIAbPluginHost.h"
#include "ui/TVIUiText.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tvi {
namespace {

constexpr int kUidRole = Qt::UserRole;
constexpr int kPhoneRole = Qt::UserRole + 1;

QString phoneTypes(const ContactPhone& phone)
{
    QStringList types;
    for (const std::string& type : phone.types) types << QString::fromStdString(type);
    return types.join(QStringLiteral(", "));
}

}

TVIPickerViewController::TVIPickerViewController(std::string autosaveName, std::shared_ptr<TVIAbPluginHost> plugin)
    : autosaveName_(std::move(autosaveName)), plugin_(std::move(plugin)), view_(std::make_unique<QWidget>())
{
    view_->setObjectName(QString::fromStdString(autosaveName_));
    search_ = new QLineEdit;
    search_->setPlaceholderText(TVIUiText::localized("Search"));
    search_->setClearButtonEnabled(true);
    table_ = new QTreeWidget;
    table_->setObjectName(QStringLiteral("ABPeoplePickerTableView"));
    table_->setColumnCount(2);
    table_->setHeaderLabels({TVIUiText::localized("Name"), TVIUiText::localized("Phone")});
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    // The first column at most 200 points wide, the second at least 50.
    table_->header()->setMinimumSectionSize(50);
    table_->setColumnWidth(0, 200);
    auto* layout = new QVBoxLayout(view_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(search_);
    layout->addWidget(table_);
    DDLogInfo("%@: => ABPeoplePickerTableView found");
    restoreColumnLayout();
    connect(search_, &QLineEdit::textChanged, this, [this] { applyFilter(); });
    connect(table_, &QTreeWidget::itemSelectionChanged, this, &TVIPickerViewController::selectionChanged);
    connect(table_, &QWidget::customContextMenuRequested, this, &TVIPickerViewController::showContextMenu);
    connect(table_->header(), &QHeaderView::sectionResized, this, [this] { saveColumnLayout(); });
    Platform::get<Contacts>()->addChangeObserver(this, [this] { reloadContacts(); });
    reloadContacts();
}

TVIPickerViewController::~TVIPickerViewController()
{
    Platform::get<Contacts>()->removeChangeObservers(this);
}

void TVIPickerViewController::reloadContacts()
{
    const std::optional<Contact> selected = selectedContact();
    {
        // Reading the list again keeps the selection: that is no change of it to report.
        const QSignalBlocker quiet(table_);
        contacts_ = Platform::get<Contacts>()->contacts();
        table_->clear();
        for (const Contact& contact : contacts_) {
            auto* item = new QTreeWidgetItem(table_, {QString::fromStdString(contact.name)});
            item->setData(0, kUidRole, QString::fromStdString(contact.uid));
            for (const ContactPhone& phone : contact.phones) {
                auto* row = new QTreeWidgetItem(item, {phoneTypes(phone), QString::fromStdString(phone.value)});
                row->setData(0, kUidRole, QString::fromStdString(contact.uid));
                row->setData(0, kPhoneRole, QString::fromStdString(phone.identifier));
            }
        }
        table_->expandAll();
        applyFilter();
        if (selected) selectContact(selected->uid);
    }
    // Unless the selected contact is gone.
    if (selected && !selectedContact()) emit selectionChanged();
}

void TVIPickerViewController::setSearchText(const QString& text) { search_->setText(text); }

void TVIPickerViewController::applyFilter()
{
    // A contact matches by any word of its name or by the digits of a number.
    const QString text = search_->text().trimmed();
    QString digits = text;
    digits.remove(QRegularExpression(QStringLiteral("[^0-9+]")));
    for (int i = 0; i < table_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = table_->topLevelItem(i);
        bool match = text.isEmpty() || item->text(0).contains(text, Qt::CaseInsensitive);
        for (int p = 0; !match && !digits.isEmpty() && p < item->childCount(); ++p) {
            QString number = item->child(p)->text(1);
            number.remove(QRegularExpression(QStringLiteral("[^0-9+]")));
            match = number.contains(digits);
        }
        item->setHidden(!match);
    }
}

QStringList TVIPickerViewController::visibleNames() const
{
    QStringList names;
    for (int i = 0; i < table_->topLevelItemCount(); ++i)
        if (!table_->topLevelItem(i)->isHidden()) names << table_->topLevelItem(i)->text(0);
    return names;
}

bool TVIPickerViewController::selectContact(const std::string& uid)
{
    for (int i = 0; i < table_->topLevelItemCount(); ++i)
        if (table_->topLevelItem(i)->data(0, kUidRole).toString().toStdString() == uid) {
            table_->setCurrentItem(table_->topLevelItem(i));
            return true;
        }
    return false;
}

std::optional<Contact> TVIPickerViewController::selectedContact() const
{
    const QList<QTreeWidgetItem*> items = table_->selectedItems();
    if (items.isEmpty()) return std::nullopt;
    const std::string uid = items.front()->data(0, kUidRole).toString().toStdString();
    for (const Contact& contact : contacts_)
        if (contact.uid == uid) return contact;
    return std::nullopt;
}

std::unique_ptr<QMenu> TVIPickerViewController::menuForPhone(const std::string& phoneIdentifier) const
{
    const std::optional<Contact> contact = selectedContact();
    if (!plugin_ || !contact) return nullptr;
    const auto action = plugin_->actionFor(*contact, phoneIdentifier);
    if (!action) return nullptr;
    auto menu = std::make_unique<QMenu>();
    QAction* entry = menu->addAction(QString::fromStdString(action->title));
    entry->setEnabled(action->enabled);
    std::shared_ptr<TVIAbPluginHost> plugin = plugin_;
    Contact chosen = *contact;
    QObject::connect(entry, &QAction::triggered, [plugin, chosen, phoneIdentifier] { plugin->perform(chosen, phoneIdentifier); });
    return menu;
}

void TVIPickerViewController::showContextMenu(const QPoint& at)
{
    QTreeWidgetItem* item = table_->itemAt(at);
    // The keyboard's menu key asks for the current row, wherever its point falls.
    if (!item) item = table_->currentItem();
    if (!item || !item->data(0, kPhoneRole).isValid()) return;
    table_->setCurrentItem(item);
    if (std::unique_ptr<QMenu> menu = menuForPhone(item->data(0, kPhoneRole).toString().toStdString()))
        menu->exec(table_->viewport()->mapToGlobal(at));
}

void TVIPickerViewController::saveColumnLayout() const
{
    const QByteArray state = table_->header()->saveState();
    UserDefaults::standard().setData(PlistData(state.begin(), state.end()), autosaveName_);
}

void TVIPickerViewController::restoreColumnLayout()
{
    if (const auto state = UserDefaults::standard().dataForKey(autosaveName_))
        table_->header()->restoreState(QByteArray(reinterpret_cast<const char*>(state->data()), int(state->size())));
}

}
