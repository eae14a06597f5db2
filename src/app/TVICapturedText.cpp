// Its lines have always named the controller, and still do.
#define TVI_LOG_CLASS_NAME "TVIAppDelegate"
#include "app/TVICapturedText.h"

#include "app/TVIMakeCallWindow.h"
#include "capture/TVIWindowUtils.h"
#include "diagnostics/DDLogMacros.h"
#include "environment/TVILocalizationUtilities.h"
#include "foundation/Bundle.h"
#include "foundation/DispatchTimer.h"
#include "foundation/Unicode.h"
#include "link/TVIMessageTypes.h"
#include "platform/DesktopNotifications.h"
#include "platform/Platform.h"

#include <string_view>

namespace tvi {
namespace {

constexpr std::string_view MagicAutomatorText = "TVAutomator:\n";
constexpr std::size_t kMaximumUtf16Units = 100;

// Blank in Unicode's sense: no-break, ideographic and other wide spaces and line
// separators are nothing to dial either.
bool isBlank(std::string_view text) { return Unicode::isBlank(text); }

// An ordinary copy may be a password: its text stays out of the log files.
std::string loggableText(const std::string& text, bool willBeDialled)
{
    if (willBeDialled) return text;
    return "<" + std::to_string(Unicode::utf16Length(text)) + " characters>";
}

// A dial that cannot reach Calvetto must not be silent: the link only writes a log line.
void reportCalvettoNotRunning()
{
    DDLogWarn("%@: Calvetto is not running: the text to dial was not sent");
    const Bundle bundle = Bundle::mainBundle();
    Platform::get<DesktopNotifications>()->show(
        bundle.localizedString("Calvetto is not running"),
        TVILocalizationUtilities::replaceAppNameInString(
            bundle.localizedString("<AppName> could not pass the number on to Calvetto. Start Calvetto and try again.")));
}

}

TVICapturedText::TVICapturedText(std::shared_ptr<TVIMakeCallWindow> window) : window_(std::move(window)) {}

void TVICapturedText::setSocket(std::shared_ptr<TVISocket> socket)
{
    std::lock_guard lock(socketMutex_);
    socket_ = std::move(socket);
}

std::shared_ptr<TVISocket> TVICapturedText::socket() const
{
    std::lock_guard lock(socketMutex_);
    return socket_;
}

Bytes TVICapturedText::capturedTextPayload(const std::string& rawText)
{
    const std::string text = Unicode::sanitizeUtf8(rawText);
    std::size_t units = 0;
    std::size_t end = 0;
    for (std::size_t i = 0; i < text.size();) {
        const Unicode::Decoded d = Unicode::decode(text, i);
        const std::size_t width = d.codePoint && *d.codePoint > 0xFFFF ? 2 : 1;
        // Never half a character: a pair that does not fit whole is left out.
        if (units + width > kMaximumUtf16Units) break;
        // The length byte must not wrap: stop at a character boundary.
        if (i + d.length > TVISocketMessage::maxPayloadLength) break;
        units += width;
        i += d.length;
        end = i;
    }
    return Bytes(text.begin(), text.begin() + static_cast<long>(end));
}

void TVICapturedText::pasteboardUpdated(const std::optional<std::string>& pasteboardText)
{
    if (auto timer = window_->takeTimer()) {
        DDLogInfo("%@: => _timer is alive destroying timer");
        timer->invalidate();
    }
    std::optional<std::string> text = pasteboardText;
    if (text && !text->empty()) {
        const auto marker = text->find(MagicAutomatorText);
        const bool marked = marker != std::string::npos;
        // With the marker only what follows it is dialled; what stands before it is the
        // user's own and stays out of the log files.
        const std::string sent = marked ? text->substr(marker + MagicAutomatorText.size()) : *text;
        DDLogInfo("%@: =>string from Pasteboard: %@", loggableText(sent, window_->makeCallHasFired() || marked));
        if (marked) {
            DDLogInfo("%@: Pasteboard string contains magic text!");
            DDLogInfo("%@: Setting makeCallHasFired explicitly to true");
            if (!isBlank(*text)) {
                text = sent;
                window_->setMakeCallHasFired();
            }
        } else {
            DDLogInfo("%@: Normal pasteboard operation");
        }
    }
    DDLogInfo("%@: => pasteboardUpdated makeCallHasFired flag: %hhd", window_->makeCallHasFired());
    // Whoever clears the flag closes the window; the timer's tick does the same.
    if (!window_->close()) return;
    if (text && !text->empty()) {
        if (!isBlank(*text)) sendCapturedTextToClient(text);
    } else {
        DDLogInfo("%@: => pasteboardUpdated stringFromPasteboard is null");
    }
}

void TVICapturedText::getSelectedTextFromService(const std::optional<std::string>& text)
{
    if (text && !text->empty()) {
        DDLogInfo("%@: =>string from Automator: %@", *text);
        if (!isBlank(*text)) sendCapturedTextToClient(text);
    } else {
        DDLogInfo("%@: => pasteboardUpdated stringFromPasteboard is null");
    }
}

void TVICapturedText::sendCapturedTextToClient(const std::optional<std::string>& text)
{
    DDLogInfo("%@: => sendCapturedTextToClient textToSent:%@", text);
    if (!text || text->empty()) return;
    TVIWindowUtils::bringToFrontCalvetto();
    const std::shared_ptr<TVISocket> link = socket();
    if (!link) return;
    if (link->connectedSocketCount() == 0) reportCalvettoNotRunning();
    link->writeData(link->constructResponse(Button_Combination_MakeCall_Pressed, capturedTextPayload(*text)));
}

}
