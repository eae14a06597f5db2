#include "platform/linux/SmtpMailSubmission.h"

#include "environment/CurlLibrary.h"
#include "platform/linux/SecretStorePassword.h"

#include <ctime>
#include <filesystem>
#include <memory>

namespace tvi {
namespace {

constexpr long kTimeoutSeconds = 30;

std::string base64(std::string_view bytes)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t word = 0;
        for (std::size_t k = 0; k < 3; ++k)
            word = (word << 8) | (k < n ? static_cast<std::uint8_t>(bytes[i + k]) : 0);
        for (std::size_t k = 0; k < 4; ++k) out += k <= n ? alphabet[(word >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

std::string rfc5322Date()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S %z", &local);
    return text;
}

std::string contentTypeOf(const std::string& path)
{
    const std::string extension = std::filesystem::path(path).extension().string();
    if (extension == ".gzip" || extension == ".gz") return "application/gzip";
    if (extension == ".txt" || extension == ".log" || extension == ".crash" || extension == ".hang")
        return "text/plain";
    return "application/octet-stream";
}

struct Transfer {
    const CurlLibrary* curl;
    CURL* handle = nullptr;
    curl_mime* mime = nullptr;
    curl_slist* recipients = nullptr;
    curl_slist* headers = nullptr;
    ~Transfer()
    {
        if (mime) curl->mime_free(mime);
        if (recipients) curl->slist_free_all(recipients);
        if (headers) curl->slist_free_all(headers);
        if (handle) curl->easy_cleanup(handle);
    }
};

MailOutcome failure(std::string description) { return MailOutcome::failure(std::move(description)); }

}

SmtpMailSubmission::SmtpMailSubmission(std::string serverUrl, std::string user)
    : serverUrl_(std::move(serverUrl)), user_(std::move(user))
{
}

bool SmtpMailSubmission::isLoopback(std::string_view url)
{
    if (const std::size_t scheme = url.find("://"); scheme != std::string_view::npos) url.remove_prefix(scheme + 3);
    if (const std::size_t at = url.find('@'); at != std::string_view::npos && at < url.find('/')) url.remove_prefix(at + 1);
    std::string_view host;
    if (url.starts_with("[")) host = url.substr(0, url.find(']') + 1);
    else host = url.substr(0, std::min(url.find(':'), url.find('/')));
    const bool ipv4Literal = host.find_first_not_of("0123456789.") == std::string_view::npos;
    return host == "localhost" || host == "[::1]" || (ipv4Literal && host.starts_with("127."));
}

std::string SmtpMailSubmission::headerText(std::string_view text)
{
    bool plain = true;
    for (char c : text) plain = plain && c >= 0x20 && c < 0x7f;
    if (plain) return std::string(text);
    return "=?UTF-8?B?" + base64(text) + "?=";
}

MailOutcome SmtpMailSubmission::send(const MailMessage& message) const
{
    const CurlLibrary* curl = CurlLibrary::shared();
    if (!curl) return failure("The mail could not be sent: libcurl is not installed.");
    curl->global_init(CURL_GLOBAL_DEFAULT);
    Transfer t{curl};
    t.handle = curl->easy_init();
    if (!t.handle) return failure("The mail could not be sent: libcurl could not be set up.");

    char errorText[CURL_ERROR_SIZE] = {0};
    const std::string from = "<" + message.sender + ">";
    curl->easy_setopt(t.handle, CURLOPT_URL, serverUrl_.c_str());
    curl->easy_setopt(t.handle, CURLOPT_ERRORBUFFER, errorText);
    curl->easy_setopt(t.handle, CURLOPT_TIMEOUT, kTimeoutSeconds);
    curl->easy_setopt(t.handle, CURLOPT_NOSIGNAL, 1L);
    curl->easy_setopt(t.handle, CURLOPT_USE_SSL, static_cast<long>(isLoopback(serverUrl_) ? CURLUSESSL_TRY : CURLUSESSL_ALL));
    curl->easy_setopt(t.handle, CURLOPT_MAIL_FROM, from.c_str());
    t.recipients = curl->slist_append(nullptr, ("<" + message.recipient + ">").c_str());
    curl->easy_setopt(t.handle, CURLOPT_MAIL_RCPT, t.recipients);

    std::string password;
    if (!user_.empty()) {
        curl->easy_setopt(t.handle, CURLOPT_USERNAME, user_.c_str());
        if (auto stored = SecretStorePassword::lookup(serverUrl_, user_)) {
            password = std::move(*stored);
            curl->easy_setopt(t.handle, CURLOPT_PASSWORD, password.c_str());
        }
    }

    for (const std::string& header :
         {"Date: " + rfc5322Date(), "From: " + message.sender, "To: " + message.recipient,
          "Subject: " + headerText(message.subject), std::string("MIME-Version: 1.0")})
        t.headers = curl->slist_append(t.headers, header.c_str());
    curl->easy_setopt(t.handle, CURLOPT_HTTPHEADER, t.headers);

    t.mime = curl->mime_init(t.handle);
    curl_mimepart* text = curl->mime_addpart(t.mime);
    curl->mime_data(text, message.body.data(), message.body.size());
    curl->mime_type(text, "text/plain; charset=utf-8");
    curl->mime_encoder(text, "quoted-printable");
    for (const std::string& path : message.attachments) {
        std::error_code error;
        curl_mimepart* part = curl->mime_addpart(t.mime);
        if (!std::filesystem::is_regular_file(path, error) || curl->mime_filedata(part, path.c_str()) != CURLE_OK)
            return failure("The attachment " + path + " could not be read.");
        curl->mime_type(part, contentTypeOf(path).c_str());
        curl->mime_encoder(part, "base64");
    }
    curl->easy_setopt(t.handle, CURLOPT_MIMEPOST, t.mime);

    const CURLcode result = curl->easy_perform(t.handle);
    std::fill(password.begin(), password.end(), '\0');
    if (result != CURLE_OK)
        return failure("The mail could not be sent through " + serverUrl_ + ": " +
                       (errorText[0] ? std::string(errorText) : std::string(curl->easy_strerror(result))));
    return MailOutcome::success();
}

}
