#pragma once

#include "ui/TVIMailDiagnosticSources.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QWidget;

namespace tvi {

class DispatchQueue;
class UserDefaults;

// The mail window in one of its two modes: feedback (a free message with the user's own
// files) or problem report (the same plus the newest logs, the crash and hang reports and
// the system profile, each gzip-compressed into the submission folder). The message goes
// out through the desktop's MailComposer service. Created once per mode and kept until the
// process ends; main thread only.
class TVIMailWindowController {
public:
    TVIMailWindowController(bool isReportDialog, TVIMailDiagnosticSources sources);
    TVIMailWindowController(bool isReportDialog, TVIMailDiagnosticSources sources, UserDefaults& defaults);
    ~TVIMailWindowController();
    TVIMailWindowController(const TVIMailWindowController&) = delete;
    TVIMailWindowController& operator=(const TVIMailWindowController&) = delete;

    // Resets the texts, collects the diagnostics anew (problem report), shows the window.
    void showWindow();
    void initDefaultStringsForDialog();
    void initProgressIndicators();
    void chooseFileAttachment();
    void sendEmailMessage();
    // Empties the submission folder and fills it again on the "Compress Queue".
    void attachDiagnosticFilesToMail();

    // Empties the folder, logging each item that could not be removed.
    static void emptySubmissionDirectory(const std::string& folder);
    // The attachment field's pieces as file paths: split at commas, empty pieces skipped,
    // file URLs turned into their paths.
    static std::vector<std::string> userAttachmentPaths(const std::string& field);
    // The attachment field's text for chosen files: their file URLs joined by commas.
    static std::string attachmentFieldText(const std::vector<std::string>& paths);

    bool isReportDialog() const { return isReportDialog_; }
    // The compressed diagnostic files written so far by the latest collection.
    const std::vector<std::string>& diagFileUrls() const { return diagFileUrls_; }
    bool isCollecting() const { return collecting_; }

    QWidget* window() const { return window_.get(); }
    QLineEdit* toField() const { return toField_; }
    QLineEdit* fromField() const { return fromField_; }
    QLineEdit* subjectField() const { return subjectField_; }
    QLineEdit* fileAttachmentField() const { return fileAttachmentField_; }
    QPlainTextEdit* messageContent() const { return messageContent_; }
    QProgressBar* compressProgressIndicator() const { return compressProgressIndicator_; }
    QLabel* progressLabel() const { return progressLabel_; }
    QLabel* attachmentsNoticeLabel() const { return attachmentsNoticeLabel_; }
    QPushButton* sendEmailButton() const { return sendEmailButton_; }
    QPushButton* chooseButton() const { return chooseButton_; }

private:
    void buildWindow();
    void setIndicatorRunning(bool running);
    void eventDidFail(const std::string& errorDescription);
    void showAttachmentsLeftToUser(const std::string& folder);
    // Runs step on the main thread if the window still exists and the collection is its latest.
    static void postToMain(const std::weak_ptr<TVIMailWindowController*>& window, std::uint64_t collection,
                           std::function<void(TVIMailWindowController&)> step);
    static void collect(const TVIMailDiagnosticSources& sources, const std::string& folder,
                        const std::function<void(std::string)>& written);

    const bool isReportDialog_;
    const TVIMailDiagnosticSources sources_;
    UserDefaults& defaults_;
    std::shared_ptr<DispatchQueue> compressQueue_;
    // Tasks queued for the main thread hold it weakly: none runs after the window is gone.
    std::shared_ptr<TVIMailWindowController*> self_;
    std::vector<std::string> diagFileUrls_;
    std::uint64_t collection_ = 0;
    bool collecting_ = false;

    std::unique_ptr<QWidget> window_;
    QLineEdit* toField_ = nullptr;
    QLabel* fromLabel_ = nullptr;
    QLineEdit* fromField_ = nullptr;
    QLabel* subjectLabel_ = nullptr;
    QLineEdit* subjectField_ = nullptr;
    QLabel* attachmentLabel_ = nullptr;
    QLineEdit* fileAttachmentField_ = nullptr;
    QPlainTextEdit* messageContent_ = nullptr;
    QProgressBar* compressProgressIndicator_ = nullptr;
    QLabel* progressLabel_ = nullptr;
    QLabel* attachmentsNoticeLabel_ = nullptr;
    QPushButton* sendEmailButton_ = nullptr;
    QPushButton* chooseButton_ = nullptr;
};

}
