#include "platform/linux/QtAlerts.h"

#include "diagnostics/DDLogMacros.h"
#include "environment/TVILocalizationUtilities.h"
#include "foundation/Bundle.h"
#include "foundation/TVIApplication.h"
#include "platform/linux/QtMainRunLoop.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcutEvent>
#include <QThread>

#include <vector>

namespace tvi {
namespace {

std::string localized(const std::string& key)
{
    return TVILocalizationUtilities::replaceAppNameInString(Bundle::mainBundle().localizedString(key));
}

QMessageBox::Icon iconFor(AlertStyle style)
{
    switch (style) {
    case AlertStyle::Informational: return QMessageBox::Information;
    case AlertStyle::Critical: return QMessageBox::Critical;
    case AlertStyle::Warning: break;
    }
    return QMessageBox::Warning;
}

QString qt(const std::string& text) { return QString::fromStdString(text); }

// Qt's mnemonic presses a button with an animated click that lands 100 ms later; Return typed
// within that time would close the box before the tick. This box ticks at once.
class ImmediateCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() != QEvent::Shortcut) return QCheckBox::event(event);
        setFocus(Qt::ShortcutFocusReason);
        if (!static_cast<QShortcutEvent*>(event)->isAmbiguous()) click();
        return true;
    }
};

// Escape answers the only button, or the one titled "Cancel"; otherwise it does nothing and
// the window's close button is refused too, as a choice must be made.
QPushButton* escapeButton(const std::vector<QPushButton*>& buttons, const std::vector<std::string>& titles)
{
    if (buttons.size() == 1) return buttons.front();
    const std::string cancel = localized("Cancel");
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (titles[i] == cancel) return buttons[i];
    return nullptr;
}

}

std::shared_ptr<QtAlerts> QtAlerts::create(std::string& whyUnavailable)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        whyUnavailable = "no QApplication";
        return nullptr;
    }
    return std::make_shared<QtAlerts>();
}

AlertResponse QtAlerts::runModal(const Alert& alert)
{
    const std::vector<std::string> titles = alert.buttons.empty() ? std::vector<std::string>{localized("OK")}
                                                                  : alert.buttons;
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
        // Windows live on the GUI thread only; the caller broke the threading rule.
        DDLogError("%@: Alert \"%@\" requested off the main thread; answered with \"%@\" unseen", alert.messageText,
                   titles.front());
        return {};
    }

    QMessageBox box(iconFor(alert.alertStyle), qt(TVIApplication::applicationName().value_or("Telvora")),
                    qt(alert.messageText));
    box.setObjectName("TelvoraAlert");
    box.setInformativeText(qt(alert.informativeText));
    std::vector<QPushButton*> buttons;
    // One role for all keeps them in the order given, left to right.
    for (const std::string& title : titles) buttons.push_back(box.addButton(qt(title), QMessageBox::ActionRole));
    box.setDefaultButton(buttons.front());
    box.setEscapeButton(escapeButton(buttons, titles));
    if (alert.showsSuppressionButton) {
        const std::string title = alert.suppressionButtonTitle.empty() ? localized("Do not show this message again")
                                                                       : alert.suppressionButtonTitle;
        // Alt and the first letter tick it, so the box works from the keyboard alone.
        QString label = qt(title);
        if (!label.contains(QLatin1Char('&'))) label.prepend(QLatin1Char('&'));
        box.setCheckBox(new ImmediateCheckBox(label)); // the box owns it
    }

    DDLogInfo("%@: Showing alert \"%@\"", alert.messageText);
    {
        const QtMainRunLoop::TaskHold hold;
        box.exec();
    }

    AlertResponse response;
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i]) response.button = i;
    response.suppressed = box.checkBox() && box.checkBox()->isChecked();
    DDLogInfo("%@: Alert \"%@\" answered with \"%@\"%@", alert.messageText, titles[response.button],
              std::string(response.suppressed ? ", do not show again" : ""));
    return response;
}

}
