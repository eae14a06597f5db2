// Download-and-verify throughput of an update: a 20 MB enclosure served over loopback, fetched
// and checked the way Telvora does (libcurl into a file, Ed25519 over the whole file), next to
// `curl` fetching the same file plus `openssl` verifying it, in the same run. Prints figures.
#include "update/SUDownloader.h"
#include "update/SUSignatureVerifier.h"

#include "../tests/update/LocalHttpServer.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int run(const std::string& command)
{
    const int status = std::system(command.c_str());
    if (status != 0) std::fprintf(stderr, "failed (%d): %s\n", status, command.c_str());
    return status;
}

}

int main()
{
    constexpr std::size_t kSize = 20 * 1000 * 1000;
    constexpr int kRuns = 7;
    const std::string dir = fs::temp_directory_path() / ("update-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);

    std::string body(kSize, '\0');
    std::mt19937_64 random(42);
    for (std::size_t i = 0; i + 8 <= body.size(); i += 8) {
        const auto value = random();
        std::copy_n(reinterpret_cast<const char*>(&value), 8, body.begin() + static_cast<long>(i));
    }
    std::ofstream(dir + "/enclosure.tar.gz", std::ios::binary) << body;
    // The maker's side, with the openssl tool: a key pair and the signature of the file.
    if (run("openssl genpkey -algorithm ed25519 -out " + dir + "/key.pem 2>/dev/null") ||
        run("openssl pkey -in " + dir + "/key.pem -pubout -out " + dir + "/pub.pem") ||
        run("openssl pkeyutl -sign -rawin -inkey " + dir + "/key.pem -in " + dir + "/enclosure.tar.gz -out " + dir +
            "/sig.bin") ||
        run("openssl pkey -pubin -in " + dir + "/pub.pem -outform DER | tail -c 32 | base64 > " + dir + "/pub.b64") ||
        run("base64 -w0 " + dir + "/sig.bin > " + dir + "/sig.b64"))
        return 1;
    std::string publicKey = readFile(dir + "/pub.b64");
    const std::string signature = readFile(dir + "/sig.b64");
    const auto verifier = tvi::SUSignatureVerifier::withPublicKey(publicKey);
    if (!verifier) return 1;

    tvi::test::LocalHttpServer server([&body](const std::string&) {
        return tvi::test::LocalHttpServer::Response::withStatus(200, body);
    });
    const std::string url = server.url("/enclosure.tar.gz");

    std::vector<double> ours, tools;
    for (int i = 0; i < kRuns; ++i) {
        const std::string target = dir + "/ours.tar.gz";
        fs::remove(target);
        auto start = Clock::now();
        const auto downloaded = tvi::SUDownloader::download(url, target, kSize, {});
        const bool verified = downloaded.succeeded && verifier->verifyFile(target, signature);
        ours.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        if (!verified) {
            std::fprintf(stderr, "our download or check failed: %s\n", downloaded.errorDescription.c_str());
            return 1;
        }

        start = Clock::now();
        if (run("curl -s -o " + dir + "/curl.tar.gz " + url) ||
            run("openssl pkeyutl -verify -pubin -inkey " + dir + "/pub.pem -rawin -in " + dir +
                "/curl.tar.gz -sigfile " + dir + "/sig.bin > /dev/null"))
            return 1;
        tools.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    // The verification alone, as the reference figure (20 MB in under 40 ms).
    std::vector<double> verifyOnly;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = Clock::now();
        verifier->verifyFile(dir + "/ours.tar.gz", signature);
        verifyOnly.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    fs::remove_all(dir);

    const double mb = kSize / 1e6;
    const double oursMedian = median(ours), toolsMedian = median(tools);
    std::printf("update download and verify, %.0f MB over loopback, median of %d runs\n", mb, kRuns);
    std::printf("  Telvora (libcurl + Ed25519):      %7.1f ms  %7.1f MB/s\n", oursMedian * 1e3, mb / oursMedian);
    std::printf("  curl + openssl pkeyutl -verify:   %7.1f ms  %7.1f MB/s\n", toolsMedian * 1e3, mb / toolsMedian);
    std::printf("  ratio (Telvora / tools throughput): %.2f (goal >= 0.80)\n", toolsMedian / oursMedian);
    std::printf("  Ed25519 check of the file alone:  %7.1f ms\n", median(verifyOnly) * 1e3);
    return 0;
}
