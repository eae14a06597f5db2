// Desktop mode, the whole report road: a Telvora killed by SIGSEGV leaves a report; the next
// start offers it, "Ok" opens the problem-report window, which collects the logs, the report
// and the system profile, and sending delivers them through the submission server, here a
// real SMTP server on loopback (Debian's python3 with aiosmtpd, storing into a maildir).
#include "DesktopTelvoraFixture.h"
#include "diagnostics/DDLogFileInfo.h"
#include "diagnostics/TVISystemProfile.h"
#include "foundation/UserDefaults.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxSystemInformation.h"
#include "support/ChildProcess.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <thread>

namespace tvi::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kDomain = "com.orvella.Telvora";

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<fs::path> filesIn(const fs::path& folder, const std::string& extension = {})
{
    std::vector<fs::path> found;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (extension.empty() || it->path().extension() == extension) found.push_back(it->path());
    std::sort(found.begin(), found.end());
    return found;
}

int freePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

bool canConnect(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

template <typename Predicate>
bool waitFor(Predicate done, std::chrono::seconds timeout)
{
    for (const auto end = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(100ms))
        if (done()) return true;
    return done();
}

// Python's email parser reads the stored message: the sender, then each attachment's name in
// order, its gunzipped bytes written beside under the same name.
const char* kParser = R"(import email, sys, os, gzip
msg = email.message_from_binary_file(open(sys.argv[1], 'rb'))
print('From=' + str(msg['From']))
for part in msg.walk():
    if part.is_multipart(): continue
    name = part.get_filename()
    if name is None: continue
    open(os.path.join(sys.argv[2], name), 'wb').write(gzip.decompress(part.get_payload(decode=True)))
    print('Attachment=' + name)
)";

class DesktopReportFlowTest : public DesktopTelvoraFixture {
protected:
    void prepareHome() override
    {
        maildir = fs::path(home) / "maildir";
        smtpPort = freePort();
        ASSERT_TRUE(smtp.start({"/usr/bin/python3", "-m", "aiosmtpd", "-n", "-l", "127.0.0.1:" + std::to_string(smtpPort),
                                "-c", "aiosmtpd.handlers.Mailbox", maildir.string()},
                               home + "/smtp.log"));
        ASSERT_TRUE(waitFor([&] { return canConnect(smtpPort); }, 10s)) << readAll(home + "/smtp.log");
        // A log of an earlier run, already archived: it travels second, and pushes the report to crash3.
        const fs::path logs = fs::path(home) / "Library/Logs/Telvora";
        fs::create_directories(logs);
        const fs::path archived = logs / "Telvora 2026-01-02 03-04.log";
        std::ofstream(archived) << "2026/01/02 03:04:05:678  TVIAppDelegate: an earlier run\n";
        ASSERT_EQ(setxattr(archived.c_str(), DDLogFileInfo::kArchivedAttributeName, "", 0, 0), 0);
        fs::last_write_time(archived, fs::file_time_type::clock::now() - 24h);
        UserDefaults prefs(kDomain, preferencesPath());
        prefs.setString("smtp://127.0.0.1:" + std::to_string(smtpPort), "TVISubmissionServer");
        ASSERT_TRUE(prefs.synchronize());
    }

    void TearDown() override
    {
        DesktopTelvoraFixture::TearDown();
        smtp.terminate();
    }

    std::string preferencesPath() const { return home + "/Library/Preferences/com.orvella.Telvora.plist"; }
    fs::path crashFolder() const { return fs::path(home) / "Library/Logs/DiagnosticReports"; }
    fs::path submissionFolder() const { return fs::path(home) / "Library/Application Support/Telvora/Latest Submission"; }

    bool waitForLine(const std::string& line, std::chrono::seconds timeout = 20s) const
    {
        return waitFor(
            [&] {
                const auto lines = telvora->logLines();
                return std::find(lines.begin(), lines.end(), line) != lines.end();
            },
            timeout);
    }

    void restart()
    {
        telvora = std::make_unique<peer::TelvoraProcess>(std::string(TELVORA_APP_DIR) + "/Contents/MacOS/Telvora", home);
        telvora->keepDisplay();
        ASSERT_TRUE(telvora->start({}, home + "/console.txt"));
    }

    // The gzipped attachments of the only stored message, decompressed into `into`, by name in order.
    std::vector<std::string> deliveredAttachments(const fs::path& into, std::string& sender)
    {
        std::vector<fs::path> stored;
        EXPECT_TRUE(waitFor([&] { return !(stored = filesIn(maildir / "new")).empty(); }, 30s));
        std::this_thread::sleep_for(1s); // a second message would be a fault
        stored = filesIn(maildir / "new");
        EXPECT_EQ(stored.size(), 1u);
        if (stored.empty()) return {};
        fs::create_directories(into);
        std::ofstream(into.parent_path() / "parse.py") << kParser;
        const std::string listing = (into.parent_path() / "listing.txt").string();
        const std::string command = "/usr/bin/python3 '" + (into.parent_path() / "parse.py").string() + "' '" +
                                    stored.front().string() + "' '" + into.string() + "' > '" + listing + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
        std::vector<std::string> names;
        std::istringstream lines(readAll(listing));
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("Attachment=", 0) == 0) names.push_back(line.substr(11));
            if (line.rfind("From=", 0) == 0) sender = line.substr(5);
        }
        return names;
    }

    fs::path maildir;
    int smtpPort = 0;
    ChildProcess smtp;
};

TEST_F(DesktopReportFlowTest, ACrashReportedFromThePromptReachesTheMailboxWithLogsReportAndProfile)
{
    // The crash, and its report with a backtrace.
    ASSERT_EQ(kill(telvora->pid(), SIGSEGV), 0);
    ASSERT_EQ(telvora->waitForExit(20s), 128 + SIGSEGV);
    const std::vector<fs::path> reports = filesIn(crashFolder(), ".crash");
    ASSERT_EQ(reports.size(), 1u);
    const std::string report = readAll(reports.front());
    EXPECT_NE(report.find("SIGSEGV"), std::string::npos) << report;
    EXPECT_NE(report.find("Backtrace"), std::string::npos) << report;
    const auto beforeSending = std::chrono::system_clock::now();

    // The next start finds it and asks; "Ok" is the second button, after the default "Cancel".
    ASSERT_NO_FATAL_FAILURE(restart());
    ASSERT_TRUE(waitForLine("TVIAppDelegate: => TVICheckForCrashesAtStartup found crash/es since last submitted date"))
        << console();
    ASSERT_TRUE(xdotool("search --sync --onlyvisible --name '^Telvora$' windowactivate --sync sleep 0.5"));
    ASSERT_TRUE(xdotool("key --clearmodifiers Tab space"));
    ASSERT_TRUE(waitForLine("TVIAppDelegate: User opted to send a report")) << console();

    // The window collects: every file is in the submission folder once the profile, the last, is.
    ASSERT_TRUE(waitFor([&] { return fs::exists(submissionFolder() / "profile.gzip"); }, 30s));
    std::this_thread::sleep_for(1s);

    // The sender's address typed into "From:", then Return sends, as the default button does.
    ASSERT_TRUE(xdotool("search --sync --onlyvisible --name '^Problem Report for Telvora$' windowactivate --sync "
                        "sleep 0.5"));
    ASSERT_TRUE(xdotool("key --clearmodifiers Tab ctrl+a"));
    ASSERT_TRUE(xdotool("type --delay 20 reporter@example.org"));
    ASSERT_TRUE(xdotool("key --clearmodifiers Return"));

    std::string sender;
    const fs::path decoded = fs::path(home) / "delivered" / "files";
    const std::vector<std::string> names = deliveredAttachments(decoded, sender);
    EXPECT_EQ(sender, "reporter@example.org");

    // The logs, newest first: the current one was read while it grew, the archived ones are whole.
    const std::vector<fs::path> logs = [&] {
        auto found = filesIn(telvora->logsFolder(), ".log");
        std::sort(found.begin(), found.end(),
                  [](const fs::path& a, const fs::path& b) { return fs::last_write_time(a) > fs::last_write_time(b); });
        return found;
    }();
    ASSERT_EQ(logs.size(), 2u);
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < logs.size(); ++i) expected.push_back("log" + std::to_string(i + 1) + ".gzip");
    const std::string crashName = "crash" + std::to_string(logs.size() + 1) + ".gzip";
    expected.push_back(crashName);
    expected.push_back("profile.gzip");
    ASSERT_EQ(names, expected);

    const std::string current = readAll(logs.front());
    const std::string sentCurrent = readAll(decoded / "log1.gzip");
    EXPECT_FALSE(sentCurrent.empty());
    EXPECT_EQ(current.substr(0, sentCurrent.size()), sentCurrent);
    EXPECT_NE(sentCurrent.find("found crash/es since last submitted date"), std::string::npos);
    for (std::size_t i = 1; i < logs.size(); ++i)
        EXPECT_EQ(readAll(decoded / ("log" + std::to_string(i + 1) + ".gzip")), readAll(logs[i])) << logs[i];
    EXPECT_EQ(readAll(decoded / crashName), report);

    // The profile as this machine's Linux backend describes it, the same for both processes.
    Platform::install<SystemInformation>(std::make_shared<LinuxSystemInformation>());
    const PlistData profile = TVISystemProfile::systemProfileAsNSData();
    EXPECT_EQ(readAll(decoded / "profile.gzip"), std::string(profile.begin(), profile.end()));

    // Sending stored its date; the window closed; the next start has nothing to offer.
    ASSERT_TRUE(waitFor([&] { return !xdotool("search --onlyvisible --name '^Problem Report for Telvora$'"); }, 10s));
    telvora->terminate();
    const PlistValue submitted = UserDefaults(kDomain, preferencesPath()).objectForKey("TVICrashLogLastSubmitedDate");
    ASSERT_NE(submitted.get<PlistDate>(), nullptr);
    EXPECT_GE(*submitted.get<PlistDate>(), beforeSending);

    ASSERT_NO_FATAL_FAILURE(restart());
    EXPECT_TRUE(waitForLine("TVIAppDelegate: => TVICheckForCrashesAtStartup didnt find any crash")) << console();
    ASSERT_TRUE(telvora->waitForPort(20s));
    std::this_thread::sleep_for(1s);
    EXPECT_FALSE(xdotool("search --onlyvisible --name '^Telvora$'"));
}

}
}
