#pragma once

#include "update/SUUserDriver.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QDialog;
class QLabel;
class QProgressBar;
class QPushButton;
class QTextBrowser;

namespace tvi {

// The desktop's "Software Update" window: one top-level window whose content follows the
// update from the offer (release notes, skip / later / install) through the download, the
// checks and the installation. Return presses the page's default button, as on any dialog;
// the other buttons take Space when focused. Each reply is called at most once: a button that
// has answered is disabled until the next page. Main thread.
class SUUpdateWindow : public SUUserDriver {
public:
    SUUpdateWindow();
    ~SUUpdateWindow() override;
    SUUpdateWindow(const SUUpdateWindow&) = delete;
    SUUpdateWindow& operator=(const SUUpdateWindow&) = delete;

    void showUpdateFound(const Offer& offer, std::function<void(UpdateChoice)> reply) override;
    void showDownloadStarted(std::function<void()> cancel) override;
    void showDownloadProgress(std::uint64_t received, std::uint64_t expected) override;
    void showPreparing() override;
    void showReadyToInstall(std::function<void(bool installNow)> reply) override;
    void showInstalling() override;
    void dismissUpdate() override;

    // The window, built on first use (for tests and screenshots).
    QDialog* window();

    // "3.2 MB": bytes in decimal megabytes with one decimal, the same in every locale.
    static QString megabytes(std::uint64_t bytes);

private:
    enum class Page { None, Offer, Download, Preparing, Ready, Installing };
    // One of the three button places (left, middle, right) on a page.
    struct PageButton {
        QString text;
        std::function<void()> action;
    };

    void buildWindow();
    // Shows `page`: its heading and text, the buttons given (an empty text hides the place;
    // `defaultPlace` 0-2 gets Return, -1 none), then raises and activates the window.
    void showPage(Page page, const QString& heading, const QString& text, const PageButton (&buttons)[3],
                  int defaultPlace);
    void setBusy(bool busy);
    void presentWindow();
    // The user closed the window (title bar or Escape); false keeps it open.
    bool windowShouldClose();
    void forgetReplies();
    void answerOffer(UpdateChoice choice);
    void answerReady(bool installNow);
    void cancelDownload();
    void disableButtons();

    Page page_ = Page::None;
    bool placed_ = false;
    std::string offeredVersion_;
    std::function<void(UpdateChoice)> offerReply_;
    std::function<void(bool)> readyReply_;
    std::function<void()> cancel_;
    std::function<void()> buttonActions_[3];

    std::unique_ptr<QDialog> window_;
    QLabel* iconLabel_ = nullptr;
    QLabel* headingLabel_ = nullptr;
    QLabel* textLabel_ = nullptr;
    QLabel* notesTitleLabel_ = nullptr;
    QTextBrowser* notesView_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLabel* progressLabel_ = nullptr;
    QPushButton* buttons_[3] = {nullptr, nullptr, nullptr};
};

}
