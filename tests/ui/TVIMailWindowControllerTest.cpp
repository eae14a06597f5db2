// The mail window: numbering and replacement of the collected files, what a message carries,
// and what a failed or a successful sending leaves behind.
#include "app/TVIPreferenceKeys.h"
#include "environment/DirectoryLocations.h"
#include "foundation/PropertyListSerialization.h"
#include "foundation/UserDefaults.h"
#include "platform/Alerts.h"
#include "platform/MailComposer.h"
#include "platform/Platform.h"
#include "platform/memory/AlertsTestInterface.h"
#include "support/DrainMainQueue.h"
#include "support/TestHome.h"
#include "ui/TVIMailWindowController.h"
#include "ui/UiTestApplication.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

using namespace tvi;
namespace fs = std::filesystem;

namespace {

// Records every message; answers with the outcome it was given.
class FakeMailComposer : public MailComposer {
public:
    MailOutcome send(const MailMessage& message) override
    {
        messages.push_back(message);
        return outcome;
    }
    std::vector<MailMessage> messages;
    MailOutcome outcome = sentOutcome();

    static MailOutcome sentOutcome()
    {
        MailOutcome sent;
        sent.sent = true;
        return sent;
    }
};

PlistData bytes(const std::string& text) { return PlistData(text.begin(), text.end()); }

std::string gunzipFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string packed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    z_stream stream{};
    EXPECT_EQ(inflateInit2(&stream, 31), Z_OK);
    std::string out(1 << 16, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END) << path;
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return out;
}

TVIMailDiagnosticSources sourcesWith(std::vector<std::string> logs, std::vector<std::string> reports,
                                     std::optional<std::string> profile)
{
    TVIMailDiagnosticSources sources;
    sources.errorLogData = [logs] {
        std::vector<PlistData> out;
        for (const auto& log : logs) out.push_back(bytes(log));
        return out;
    };
    sources.crashLogData = [reports] {
        std::vector<PlistData> out;
        for (const auto& report : reports) out.push_back(bytes(report));
        return out;
    };
    sources.systemProfileAsNSData = [profile]() -> std::optional<PlistData> {
        if (!profile) return std::nullopt;
        return bytes(*profile);
    };
    return sources;
}

class TVIMailWindowControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::uiTestApplication();
        alerts().reset();
    }

    static AlertsTestInterface& alerts()
    {
        return dynamic_cast<AlertsTestInterface&>(*Platform::get<Alerts>());
    }

    static std::string submissionFolder() { return *DirectoryLocations::applicationSupportDirectorySubmissionDirectory(); }

    static std::set<std::string> folderContents()
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(submissionFolder())) names.insert(entry.path().filename());
        return names;
    }

    // Serves the main queue until the collection has handed in its last step.
    static void waitForCollection(const TVIMailWindowController& window)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (window.isCollecting() && std::chrono::steady_clock::now() < deadline) {
            test::drainMainQueue();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_FALSE(window.isCollecting());
    }

    std::shared_ptr<FakeMailComposer> mail = std::make_shared<FakeMailComposer>();
    Platform::Scoped<MailComposer> installed{mail};
    std::string defaultsPath = test::makeTempDir("defaults") + "/com.orvella.Telvora.plist";
    UserDefaults defaults{"com.orvella.Telvora", defaultsPath};
};

TEST_F(TVIMailWindowControllerTest, CollectionNumbersLogsAndReportsWithOneCounterAndReplacesTheEarlierFiles)
{
    {
        TVIMailWindowController window(true, sourcesWith({"log a", "log b"}, {}, "profile"), defaults);
        window.showWindow();
        waitForCollection(window);
        EXPECT_EQ(folderContents(), (std::set<std::string>{"log1.gzip", "log2.gzip", "profile.gzip"}));
        const std::string folder = submissionFolder();
        EXPECT_EQ(window.diagFileUrls(),
                  (std::vector<std::string>{folder + "/log1.gzip", folder + "/log2.gzip", folder + "/profile.gzip"}));
        EXPECT_EQ(gunzipFile(folder + "/log2.gzip"), "log b");
        EXPECT_EQ(gunzipFile(folder + "/profile.gzip"), "profile");
        EXPECT_FALSE(window.progressLabel()->isVisible());
        // A screenshot for a look by eye, on demand.
        const QByteArray shots = qgetenv("TELVORA_UI_SCREENSHOTS");
        if (!shots.isEmpty()) window.window()->grab().save(shots + "/mail-report.png");
    }

    // Something the user left in the folder goes too.
    fs::create_directories(submissionFolder() + "/left/over");
    TVIMailWindowController window(true, sourcesWith({"log"}, {"c1", "c2", "c3"}, "profile"), defaults);
    window.showWindow();
    waitForCollection(window);
    EXPECT_EQ(folderContents(),
              (std::set<std::string>{"log1.gzip", "crash2.gzip", "crash3.gzip", "crash4.gzip", "profile.gzip"}));
    EXPECT_EQ(gunzipFile(submissionFolder() + "/crash4.gzip"), "c3");

    // Shown again: the first collection's files are gone before the second writes; with
    // neither logs nor reports nothing is written, the profile included.
    TVIMailWindowController empty(true, sourcesWith({}, {}, "profile"), defaults);
    empty.showWindow();
    waitForCollection(empty);
    EXPECT_TRUE(folderContents().empty());
    EXPECT_TRUE(empty.diagFileUrls().empty());
}

TEST_F(TVIMailWindowControllerTest, MessagesCarryTheDiagnosticsOnlyInReportsAndNoEmptyAttachment)
{
    const std::string chosen = TVIMailWindowController::attachmentFieldText({"/tmp/a b.txt", "/tmp/x,y.png"});
    TVIMailWindowController feedback(false, sourcesWith({"log"}, {"crash"}, "profile"), defaults);
    feedback.showWindow();
    EXPECT_FALSE(feedback.isCollecting());
    feedback.fileAttachmentField()->setText(QString::fromStdString(chosen + ","));
    feedback.sendEmailMessage();
    ASSERT_EQ(mail->messages.size(), 1u);
    EXPECT_EQ(mail->messages[0].attachments, (std::vector<std::string>{"/tmp/a b.txt", "/tmp/x,y.png"}));
    EXPECT_EQ(mail->messages[0].sender, "type your email address here");
    EXPECT_EQ(mail->messages[0].recipient, feedback.toField()->text().toStdString());

    TVIMailWindowController report(true, sourcesWith({"log"}, {}, std::nullopt), defaults);
    report.showWindow();
    waitForCollection(report);
    report.fileAttachmentField()->setText(",/tmp/own.txt,,");
    report.sendEmailMessage();
    ASSERT_EQ(mail->messages.size(), 2u);
    EXPECT_EQ(mail->messages[1].attachments,
              (std::vector<std::string>{submissionFolder() + "/log1.gzip", "/tmp/own.txt"}));
}

TEST_F(TVIMailWindowControllerTest, FailedSendingAlertsAndKeepsTheWindowOpenWithNothingStored)
{
    mail->outcome.sent = false;
    mail->outcome.errorDescription = "No mail program takes mail on this desktop.";
    TVIMailWindowController window(false, sourcesWith({}, {}, std::nullopt), defaults);
    window.showWindow();
    window.sendEmailMessage();

    const std::vector<Alert> shown = alerts().shownAlerts();
    ASSERT_EQ(shown.size(), 1u);
    const Alert& alert = shown[0];
    EXPECT_EQ(alert.messageText, "Error");
    EXPECT_EQ(alert.informativeText, "No mail program takes mail on this desktop.");
    EXPECT_EQ(alert.buttons, (std::vector<std::string>{"OK"}));
    EXPECT_TRUE(window.window()->isVisible());
    EXPECT_FALSE(defaults.objectForKey(TVICrashLogLastSubmitedDate).get<PlistDate>());
    EXPECT_FALSE(fs::exists(defaultsPath));
}

TEST_F(TVIMailWindowControllerTest, SentMailStoresTheDateAndClosesOrTellsWhereTheAttachmentsAre)
{
    TVIMailWindowController window(false, sourcesWith({}, {}, std::nullopt), defaults);
    window.showWindow();
    const auto before = std::chrono::system_clock::now();
    window.sendEmailMessage();
    EXPECT_FALSE(window.window()->isVisible());
    const auto stored = PropertyListSerialization::propertyListWithContentsOfFile(defaultsPath);
    ASSERT_TRUE(stored && stored->is<PlistDictionary>());
    const PlistDate* date = stored->get<PlistDictionary>()->at(TVICrashLogLastSubmitedDate).get<PlistDate>();
    ASSERT_TRUE(date);
    EXPECT_GE(*date + std::chrono::seconds(1), before);
    EXPECT_TRUE(alerts().shownAlerts().empty());

    // A mail client that took the message but not the files: the window stays and says where they are.
    mail->outcome.attachmentsLeftToUser = true;
    mail->outcome.attachmentsFolder = "/tmp/Latest";
    window.showWindow();
    window.sendEmailMessage();
    EXPECT_TRUE(window.window()->isVisible());
    EXPECT_FALSE(window.attachmentsNoticeLabel()->isHidden());
    EXPECT_TRUE(window.attachmentsNoticeLabel()->text().contains("/tmp/Latest"));
    EXPECT_FALSE(window.sendEmailButton()->isEnabled());
    window.showWindow();
    EXPECT_TRUE(window.sendEmailButton()->isEnabled());
    EXPECT_TRUE(window.attachmentsNoticeLabel()->isHidden());
}

}
