// The two mail roads of the Linux desktop against real peers: an SMTP server on loopback (aiosmtpd,
// storing each message in a maildir) and a stand-in mail client registered as the mailto handler.
#include "diagnostics/TVIZlibUtilities.h"
#include "foundation/UserDefaults.h"
#include "platform/linux/LinuxMailComposer.h"
#include "platform/linux/SmtpMailSubmission.h"
#include "platform/linux/XdgEmailMailClient.h"
#include "support/ChildProcess.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace tvi {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeAll(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
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

// A gzip member written as an attachment of a report, with the source it came from.
fs::path gzipFile(const fs::path& folder, const std::string& name, const std::string& source)
{
    const auto member = TVIZlibUtilities::gzipData(std::vector<std::uint8_t>(source.begin(), source.end()));
    EXPECT_TRUE(member);
    const fs::path path = folder / name;
    writeAll(path, std::string(member->begin(), member->end()));
    return path;
}

// Debian's Python (aiosmtpd is installed for it, not for another python3 first on PATH).
// Python's email parser reads the stored message: the headers, the text body, and each
// attachment's name with its decoded bytes written beside it.
const char* kParser = R"(import email, sys, os, gzip
msg = email.message_from_binary_file(open(sys.argv[1], 'rb'))
out = sys.argv[2]
print('From=' + str(msg['From']))
print('To=' + str(msg['To']))
print('Subject=' + str(email.header.make_header(email.header.decode_header(msg['Subject']))))
for part in msg.walk():
    if part.is_multipart(): continue
    name = part.get_filename()
    data = part.get_payload(decode=True)
    if name is None:
        open(os.path.join(out, 'body.txt'), 'wb').write(data)
    else:
        open(os.path.join(out, name), 'wb').write(gzip.decompress(data))
        print('Attachment=' + name)
)";

class LinuxMailComposerTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        UserDefaults::standard().removeObjectForKey("TVISubmissionServer");
        UserDefaults::standard().removeObjectForKey("TVISubmissionUser");
    }
};

TEST_F(LinuxMailComposerTest, SubmissionToALoopbackServerDeliversBodyAndEveryAttachment)
{
    const fs::path work = test::makeTempDir("smtp");
    const fs::path maildir = work / "maildir";
    const int port = freePort();
    test::ChildProcess server;
    ASSERT_TRUE(server.start({"/usr/bin/python3", "-m", "aiosmtpd", "-n", "-l", "127.0.0.1:" + std::to_string(port), "-c",
                              "aiosmtpd.handlers.Mailbox", maildir.string()},
                             (work / "server.log").string()));
    for (int i = 0; i < 100 && !canConnect(port); ++i) std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(canConnect(port)) << readAll(work / "server.log");

    std::string log;
    for (int i = 0; i < 2000; ++i) log += "2024/05/03 10:11:12:123  TVISocket: line " + std::to_string(i) + "\n";
    std::string report(300, '\0');
    std::mt19937 engine(7);
    for (char& c : report) c = static_cast<char>(engine()); // short and incompressible
    const fs::path folder = work / "Latest submission";
    fs::create_directories(folder);
    MailMessage message{"reporter@example.org", "support@example.com", "Problem Report for Telvora 1.0 (Build 1) — ü",
                        "Line one.\nLine two, with ümlauts and a long line " + std::string(120, 'x') + ".\n",
                        {gzipFile(folder, "log1.gzip", log).string(), gzipFile(folder, "crash2.gzip", report).string()}};

    UserDefaults::standard().setObject(PlistValue("smtp://127.0.0.1:" + std::to_string(port)), "TVISubmissionServer");
    const MailOutcome outcome = LinuxMailComposer().send(message);
    ASSERT_TRUE(outcome.sent) << outcome.errorDescription;
    EXPECT_FALSE(outcome.attachmentsLeftToUser);

    std::vector<fs::path> stored;
    for (int i = 0; i < 100 && stored.empty(); ++i) {
        std::this_thread::sleep_for(50ms);
        if (fs::exists(maildir / "new"))
            for (const auto& e : fs::directory_iterator(maildir / "new")) stored.push_back(e.path());
    }
    server.terminate();
    ASSERT_EQ(stored.size(), 1u);

    const fs::path parsed = work / "parsed";
    fs::create_directories(parsed);
    writeAll(work / "parse.py", kParser);
    const std::string command = "/usr/bin/python3 '" + (work / "parse.py").string() + "' '" + stored[0].string() + "' '" +
                                parsed.string() + "' > '" + (work / "headers.txt").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string headers = readAll(work / "headers.txt");
    EXPECT_NE(headers.find("From=reporter@example.org\n"), std::string::npos) << headers;
    EXPECT_NE(headers.find("To=support@example.com\n"), std::string::npos) << headers;
    EXPECT_NE(headers.find("Subject=" + message.subject + "\n"), std::string::npos) << headers;
    EXPECT_NE(headers.find("Attachment=log1.gzip\nAttachment=crash2.gzip\n"), std::string::npos) << headers;
    EXPECT_EQ(readAll(parsed / "body.txt"), message.body);
    EXPECT_EQ(readAll(parsed / "log1.gzip"), log);
    EXPECT_EQ(readAll(parsed / "crash2.gzip"), report);
    // The envelope: aiosmtpd's Mailbox keeps the sender and recipient it was given.
    const std::string raw = readAll(stored[0]);
    EXPECT_NE(raw.find("X-MailFrom: reporter@example.org"), std::string::npos);
    EXPECT_NE(raw.find("X-RcptTo: support@example.com"), std::string::npos);
}

TEST_F(LinuxMailComposerTest, SubmissionFailuresAreReportedNotSent)
{
    const int port = freePort(); // nothing listens
    UserDefaults::standard().setObject(PlistValue("smtp://127.0.0.1:" + std::to_string(port)), "TVISubmissionServer");
    MailMessage message{"a@example.org", "b@example.com", "s", "b", {}};
    MailOutcome outcome = LinuxMailComposer().send(message);
    EXPECT_FALSE(outcome.sent);
    EXPECT_NE(outcome.errorDescription.find("smtp://127.0.0.1:"), std::string::npos) << outcome.errorDescription;

    message.attachments = {"/nonexistent/log1.gzip"};
    outcome = SmtpMailSubmission("smtp://127.0.0.1:" + std::to_string(port), "").send(message);
    EXPECT_FALSE(outcome.sent);
    EXPECT_NE(outcome.errorDescription.find("/nonexistent/log1.gzip"), std::string::npos);

    EXPECT_TRUE(SmtpMailSubmission::isLoopback("smtp://127.0.0.1:2525"));
    EXPECT_TRUE(SmtpMailSubmission::isLoopback("smtp://localhost"));
    EXPECT_TRUE(SmtpMailSubmission::isLoopback("smtp://user@[::1]:25/"));
    EXPECT_FALSE(SmtpMailSubmission::isLoopback("smtp://127.0.0.1.example.com:25"));
    EXPECT_FALSE(SmtpMailSubmission::isLoopback("smtps://mail.example.com"));
}

// A stand-in mail client and file manager: each records its arguments, one per line, and ends.
void registerRecordingHandlers(const fs::path& dataHome, const fs::path& binaries, const fs::path& record)
{
    fs::create_directories(dataHome / "applications");
    fs::create_directories(binaries);
    const fs::path script = binaries / "record-arguments";
    writeAll(script, "#!/bin/sh\nrole=$1; shift\nfor a in \"$@\"; do printf '%s\\n' \"$role:$a\" >> '" + record.string() + "'; done\n");
    fs::permissions(script, fs::perms::owner_all);
    for (const char* role : {"mailer", "files"}) {
        writeAll(dataHome / "applications" / (std::string("fake-") + role + ".desktop"),
                 "[Desktop Entry]\nType=Application\nName=Fake " + std::string(role) + "\nExec=" + script.string() +
                     " " + role + " %u\nMimeType=x-scheme-handler/mailto;inode/directory;\n");
    }
}

// The recording handlers become this desktop's mail client and file manager, and the mail road
// is the client's (the deployment's server turned off).
void useRecordingHandlers(const fs::path& work, const fs::path& record)
{
    registerRecordingHandlers(work / "data", work / "bin", record);
    ::setenv("XDG_DATA_HOME", (work / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
    ::setenv("XDG_CURRENT_DESKTOP", "X-Generic", 1);
    ::unsetenv("DE");
    ::unsetenv("KDE_FULL_SESSION");
    ::unsetenv("GNOME_DESKTOP_SESSION_ID");
    ::setenv("DISPLAY", ":99", 0); // xdg-open wants a display to exist in name only
    fs::create_directories(work / "config");
    ASSERT_EQ(std::system("xdg-mime default fake-mailer.desktop x-scheme-handler/mailto && "
                          "xdg-mime default fake-files.desktop inode/directory > /dev/null 2>&1"),
              0);
    UserDefaults::standard().setObject(PlistValue(""), "TVISubmissionServer");
}

TEST_F(LinuxMailComposerTest, MailClientRoadHandsEveryAttachmentOverAndOpensTheirFolder)
{
    const fs::path work = test::makeTempDir("xdgemail");
    const fs::path record = work / "record.txt";
    ASSERT_NO_FATAL_FAILURE(useRecordingHandlers(work, record));

    const fs::path folder = work / "Latest submission";
    fs::create_directories(folder);
    std::vector<std::string> attachments;
    for (const char* name : {"log1.gzip", "crash2.gzip", "profile.gzip"}) {
        writeAll(folder / name, name);
        attachments.push_back((folder / name).string());
    }
    const MailOutcome outcome =
        LinuxMailComposer().send({"me@example.org", "support@example.com", "Feedback", "Hello", attachments});
    ASSERT_TRUE(outcome.sent) << outcome.errorDescription;
    EXPECT_TRUE(outcome.attachmentsLeftToUser);
    EXPECT_EQ(outcome.attachmentsFolder, folder.string());

    const std::string recorded = readAll(record);
    const std::string mailto = recorded.substr(0, recorded.find('\n'));
    ASSERT_EQ(mailto.rfind("mailer:mailto:support", 0), 0u) << recorded;
    std::size_t attachCount = 0;
    for (std::size_t at = mailto.find("attach="); at != std::string::npos; at = mailto.find("attach=", at + 1)) ++attachCount;
    EXPECT_EQ(attachCount, 3u) << mailto;
    for (const char* name : {"log1.gzip", "crash2.gzip", "profile.gzip"})
        EXPECT_NE(mailto.find(name), std::string::npos) << mailto;
    EXPECT_NE(mailto.find("subject=Feedback"), std::string::npos);
    EXPECT_NE(recorded.find("files:" + folder.string() + "\n"), std::string::npos) << recorded;

    EXPECT_TRUE(XdgEmailMailClient::clientTakesAttachments("thunderbird.desktop\n"));
    EXPECT_TRUE(XdgEmailMailClient::clientTakesAttachments("org.gnome.Evolution.desktop"));
    EXPECT_FALSE(XdgEmailMailClient::clientTakesAttachments("fake-mailer.desktop"));
}

// A vCard goes to nobody in particular and without words: xdg-email takes only the fields given.
TEST_F(LinuxMailComposerTest, MailClientRoadLeavesOutTheFieldsWithoutValue)
{
    const fs::path work = test::makeTempDir("xdgemail");
    const fs::path record = work / "record.txt";
    ASSERT_NO_FATAL_FAILURE(useRecordingHandlers(work, record));
    const fs::path card = work / "vcard.vcf";
    writeAll(card, "BEGIN:VCARD\r\nEND:VCARD\r\n");

    for (const char* subject : {"Anna Muster", ""}) {
        fs::remove(record);
        const MailOutcome outcome = LinuxMailComposer().send({"", "", subject, "", {card.string()}});
        ASSERT_TRUE(outcome.sent) << "subject \"" << subject << "\": " << outcome.errorDescription;
        const std::string recorded = readAll(record);
        const std::string mailto = recorded.substr(0, recorded.find('\n'));
        EXPECT_EQ(mailto.rfind("mailer:mailto:?", 0), 0u) << recorded;
        EXPECT_NE(mailto.find("attach="), std::string::npos) << mailto;
        EXPECT_EQ(mailto.find("body="), std::string::npos) << mailto;
        if (*subject) EXPECT_NE(mailto.find("subject=Anna"), std::string::npos) << mailto;
        else EXPECT_EQ(mailto.find("subject="), std::string::npos) << mailto;
    }
}

}
}
