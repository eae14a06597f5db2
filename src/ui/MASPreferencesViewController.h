#pragma once

#include <QIcon>
#include <QString>

class QWidget;

namespace tvi {

// One pane of the preferences window. The pane owns its view.
class MASPreferencesViewController {
public:
    virtual ~MASPreferencesViewController() = default;

    // Unique among the panes; also the toolbar item's identifier.
    virtual QString identifier() const = 0;
    virtual QIcon toolbarItemImage() const = 0;
    virtual QString toolbarItemLabel() const = 0;
    virtual QWidget* view() = 0;

    virtual void viewWillAppear() {}
    virtual void viewDidDisappear() {}
    // The control that gets the focus when the pane appears; nullptr: the view's first one.
    virtual QWidget* initialKeyView() { return nullptr; }
    // False when pending edits cannot be committed: the pane then stays.
    virtual bool commitEditing() { return true; }
    // Whether the view grows with the window horizontally / vertically.
    virtual bool isWidthFlexible() const { return false; }
    virtual bool isHeightFlexible() const { return false; }
};

}
