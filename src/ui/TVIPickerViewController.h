#pragma once

#include "platform/Contacts.h"

#include <QObject>

#include <memory>
#include <optional>
#include <string>

class QLineEdit;
class QMenu;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace tvi {

class TVIAbPluginHost;

// The contact list: names with their phone numbers beneath, a search field, single
// selection, and the column layout kept under the autosave name. The contact plug-in's
// action is offered on every phone number of the selected contact.
class TVIPickerViewController : public QObject {
    Q_OBJECT
public:
    TVIPickerViewController(std::string autosaveName, std::shared_ptr<TVIAbPluginHost> plugin);
    ~TVIPickerViewController() override;

    // The plug-in can arrive after the picker (it is installed in the background at start).
    void setPlugin(std::shared_ptr<TVIAbPluginHost> plugin) { plugin_ = std::move(plugin); }
    QWidget* view() const { return view_.get(); }
    QLineEdit* searchField() const { return search_; }
    QTreeWidget* table() const { return table_; }

    void reloadContacts();
    void setSearchText(const QString& text);
    // The names shown, after the search.
    QStringList visibleNames() const;
    bool selectContact(const std::string& uid);
    std::optional<Contact> selectedContact() const;
    // The plug-in's menu for a number of the selected contact (null without plug-in or number).
    std::unique_ptr<QMenu> menuForPhone(const std::string& phoneIdentifier) const;
    void saveColumnLayout() const;

signals:
    void selectionChanged();

private:
    void applyFilter();
    void restoreColumnLayout();
    void showContextMenu(const QPoint& at);

    std::string autosaveName_;
    std::shared_ptr<TVIAbPluginHost> plugin_;
    std::unique_ptr<QWidget> view_;
    QLineEdit* search_ = nullptr;
    QTreeWidget* table_ = nullptr;
    std::vector<Contact> contacts_;
};

}
