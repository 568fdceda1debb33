#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>

#include "tests/support/temp_dir.h"
#include "tests/update/tampered_info_files.h"
#include "update/check/integrity.h"

namespace korvex::update {
namespace {

namespace fs = std::filesystem;

constexpr const char* kInfo =
    "#version=3.2.0.2\r\n"
    "#url=http://h/upd/korvex\r\n"
    "#url2=http://h/upd/a.dat=%appdata%\\Sub\\a.dat\r\n"
    "#message={Новая версия}\r\n";

TrustedInfo unsignedInfo(std::string_view text) {
    return verifyInfoFile(text, "").info.value();
}

// Our keys are read by the same lookup as every other key, so they must not disturb it: a digest
// key never answers for its entry key, and the numbering of entries is unchanged.
TEST(InfoFileKeys, LookupAndEntryKeys) {
    const TrustedInfo info =
        unsignedInfo(std::string("#url.sha256=ab\r\n#URL1.SHA256=cd\r\n") + kInfo + "#url0=x");
    EXPECT_EQ(info.value("#url"), "http://h/upd/korvex");
    EXPECT_EQ(info.value("#url0"), "");  // the text's last character is lost
    EXPECT_EQ(info.value("#url1.sha256"), "cd");
    EXPECT_EQ(info.entryKeys(), (std::vector<std::string>{"#url", "#url2"}));
    EXPECT_EQ(unsignedInfo("#url1=a\n#url2=b\n#url4=c\n").entryKeys(),
              (std::vector<std::string>{"#url1", "#url2"}));
    EXPECT_EQ(unsignedInfo("#url0=a\n#url=b\n#url2=c\n#url3=d\n").entryKeys(),
              (std::vector<std::string>{"#url", "#url0", "#url3"}));
    EXPECT_EQ(info.entryDigest("http://h/upd/korvex"), "ab");
    EXPECT_EQ(info.entryDigest("http://h/upd/a.dat"), "");
}

class SignedInfo : public ::testing::Test {
protected:
    void SetUp() override {
        auto pair = generateKeyPair();
        ASSERT_TRUE(pair);
        keys = *pair;
        auto otherPair = generateKeyPair();
        ASSERT_TRUE(otherPair);
        otherKeys = *otherPair;
        auto done = withDigests(kInfo, [](const std::string& key, const std::string&) {
            return std::optional<std::string>(sha256Hex(key == "#url" ? "program" : "data"));
        });
        ASSERT_TRUE(done);
        digested = *done;
        text = signInfoText(digested, keys.privatePem, isoDateAfterDays(std::time(nullptr), 30)).value();
    }
    TrustedInfo trusted() const { return verifyInfoFile(text, keys.publicHex).info.value(); }
    KeyPair keys, otherKeys;
    std::string digested, text;
};

// Under a key only a file whose last line is its signature, signed with that key, not expired and
// with a digest for every entry is used; every way of putting unsigned keys where a reader would
// find them is refused, each by its rule. Without a key everything is used.
TEST_F(SignedInfo, TamperedFilesAreRefusedEachByItsRule) {
    for (const auto& c : test::tamperedInfoFiles(digested, keys, otherKeys, "http://evil/x")) {
        SCOPED_TRACE(c.what);
        const InfoVerdict verdict = verifyInfoFile(c.text, keys.publicHex);
        EXPECT_EQ(verdict.trust, c.trust) << infoTrustText(verdict.trust);
        EXPECT_FALSE(verdict.info.has_value());
    }
    std::string capitalHex = keys.publicHex;
    for (char& c : capitalHex) c = static_cast<char>(toupper(c));
    const std::string noLastBreak = text.substr(0, text.size() - 2);
    const auto signedWithoutDigests = signInfoText(kInfo, keys.privatePem, "2999-01-01");
    ASSERT_TRUE(signedWithoutDigests);
    const std::time_t expiryDay = 86400 * 10957;  // 2000-01-01 00:00 UTC
    const std::string lastDay = signInfoText(digested, keys.privatePem, "2000-01-01").value();
    std::string notHex = digested;
    notHex.replace(notHex.find("#url.sha256=") + 12, 64, std::string(64, 'g'));
    notHex = signInfoText(notHex, keys.privatePem, "2999-01-01").value();
    const struct {
        const char* what;
        std::string text;
        std::string key;
        std::time_t now;
        InfoTrust trust;
    } cases[] = {
        {"signed", text, keys.publicHex, std::time(nullptr), InfoTrust::Accepted},
        {"the key's hex in capitals", text, capitalHex, std::time(nullptr), InfoTrust::Accepted},
        {"no line break after the signature", noLastBreak, keys.publicHex, std::time(nullptr),
         InfoTrust::Accepted},
        {"its last day", lastDay, keys.publicHex, expiryDay + 86399, InfoTrust::Accepted},
        {"the day after", lastDay, keys.publicHex, expiryDay + 86400, InfoTrust::Expired},
        {"signed without digests", *signedWithoutDigests, keys.publicHex, std::time(nullptr),
         InfoTrust::MissingDigest},
        {"a digest of 64 characters that are not hex", notHex, keys.publicHex, std::time(nullptr),
         InfoTrust::MissingDigest},
        {"a key that is no key", text, "1234", std::time(nullptr), InfoTrust::BadPublicKey},
        {"no key in the build", kInfo, "", std::time(nullptr), InfoTrust::Accepted},
        {"no key, expired", lastDay, "", std::time(nullptr), InfoTrust::Accepted},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(verifyInfoFile(c.text, c.key, c.now).trust, c.trust)
            << infoTrustText(verifyInfoFile(c.text, c.key, c.now).trust);
    }
    // Under a key the readers see the signed bytes alone: not the signature line.
    EXPECT_EQ(trusted().bytes(), text.substr(0, text.find("#signature")));
    EXPECT_EQ(trusted().value("#signature"), "");
}

// A downloaded file is installed only when it is the file the info file describes.
TEST_F(SignedInfo, DownloadedFileMustMatchItsDigest) {
    test::TempDir dir;
    const std::string good = dir.write("korvex.updtmp", "program");
    const std::string bad = dir.write("a.dat.updtmp", "tampered");
    const TrustedInfo info = trusted();
    EXPECT_TRUE(downloadedFileAcceptable(good, info, "http://h/upd/korvex", keys.publicHex));
    EXPECT_FALSE(downloadedFileAcceptable(bad, info, "http://h/upd/a.dat", keys.publicHex));
    EXPECT_FALSE(downloadedFileAcceptable(bad, info, "http://h/upd/a.dat", ""));  // a digest given is checked
    EXPECT_FALSE(downloadedFileAcceptable(dir.file("missing"), info, "http://h/upd/korvex", ""));
    // An entry the info file gives no digest for: refused under a key, taken without one.
    EXPECT_FALSE(downloadedFileAcceptable(good, info, "http://h/upd/other", keys.publicHex));
    EXPECT_TRUE(downloadedFileAcceptable(good, unsignedInfo(kInfo), "http://h/upd/korvex", ""));
    EXPECT_EQ(fileSha256Hex(good), sha256Hex("program"));
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

struct ToolRun {
    int status;
    std::string out;
};

ToolRun runTool(const test::TempDir& dir, std::vector<std::string> args) {
    const std::string out = dir.file("tool-output");
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(out.c_str(), "w", stdout)) _exit(127);
        std::vector<char*> argv{const_cast<char*>(KORVEX_SIGN_UPDATE_PATH)};
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(KORVEX_SIGN_UPDATE_PATH, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::readFile(out)};
}

// What a publisher does: make a key, sign an info file from the local copies of its files (the
// last line without a line break), and what korvex then accepts.
TEST(SignTool, RoundTrip) {
    test::TempDir dir;
    fs::create_directory(dir.path() / "files é");
    dir.write("files é/korvex", "program");
    dir.write("files é/a.dat", "data");
    const std::string info =
        dir.write("korvex.info", "#version=3.2.0.2\n#url=http://h/upd/korvex\n#url2=http://h/upd/a.dat");
    const std::string key = dir.file("publisher.pem");

    const ToolRun made = runTool(dir, {"keygen", key});
    ASSERT_EQ(made.status, 0);
    const std::string publicHex = made.out.substr(0, made.out.find('\n'));
    EXPECT_EQ(runTool(dir, {"public-key", key}).out, made.out);
    EXPECT_EQ(runTool(dir, {"keygen", key}).status, 1) << "an existing key was overwritten";

    EXPECT_EQ(runTool(dir, {"sign", "--key", key, "--files", dir.file("files é"), info}).status, 0);
    const std::string text = test::readFile(info);
    const InfoVerdict verdict = verifyInfoFile(text, publicHex);
    ASSERT_EQ(verdict.trust, InfoTrust::Accepted) << infoTrustText(verdict.trust);
    EXPECT_EQ(verdict.info->value("#url2"), "http://h/upd/a.dat") << "the last line was not ended first";
    EXPECT_EQ(verdict.info->entryDigest("http://h/upd/a.dat"), sha256Hex("data"));
    // Thirty days by default, or as many as asked.
    EXPECT_EQ(verdict.info->value("#expires"), isoDateAfterDays(std::time(nullptr), 30));
    const std::string shortLived = dir.file("short.info");
    EXPECT_EQ(runTool(dir, {"sign", "--key", key, "--files", dir.file("files é"), "--expires-in", "2",
                            "--output", shortLived, info})
                  .status,
              0);
    EXPECT_EQ(verifyInfoFile(test::readFile(shortLived), publicHex).info.value().value("#expires"),
              isoDateAfterDays(std::time(nullptr), 2));
    EXPECT_EQ(runTool(dir, {"sign", "--key", key, "--expires-in", "0", info}).status, 2);
    EXPECT_EQ(runTool(dir, {"sign", "--key", key, "--expires-in", "30x", info}).status, 2);
    EXPECT_EQ(
        runTool(dir, {"verify", "--public-key", publicHex, "--files", dir.file("files é"), info}).status, 0);
    // Signing again replaces the digests and the signature instead of adding more.
    EXPECT_EQ(runTool(dir, {"sign", "--key", key, "--files", dir.file("files é"), info}).status, 0);
    EXPECT_EQ(test::readFile(info), text);

    // verify is the program's own check: a file the program would refuse is refused there too.
    for (const auto& c : test::tamperedInfoFiles(
             withDigests(test::readFile(info),
                         [](const std::string&k, const std::string&) {
                             return std::optional<std::string>(sha256Hex(k == "#url" ? "program" : "data"));
                         })
                 .value(),
             KeyPair{test::readFile(key), publicHex}, generateKeyPair().value(), "http://evil/x")) {
        SCOPED_TRACE(c.what);
        const std::string tampered = dir.write("tampered.info", c.text);
        const ToolRun run = runTool(dir, {"verify", "--public-key", publicHex, tampered});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
    }

    dir.write("files é/a.dat", "changed after signing");
    EXPECT_EQ(
        runTool(dir, {"verify", "--public-key", publicHex, "--files", dir.file("files é"), info}).status, 1);
    fs::remove(dir.path() / "files é" / "a.dat");
    EXPECT_EQ(runTool(dir, {"sign", "--key", key, "--files", dir.file("files é"), info}).status, 1);
    EXPECT_EQ(test::readFile(info), text) << "a failed signing changed the info file";
    EXPECT_EQ(runTool(dir, {"sign", info}).status, 2);
}

// The demo build's key and the demo's private key belong together, or the demo's signed info
// file is refused.
TEST(SignTool, DemoPresetKeyIsTheDemoPrivateKeysHalf) {
    const std::string presets = test::readFile(std::string(KORVEX_SOURCE_DIR) + "/CMakePresets.json");
    const std::string key = "\"KORVEX_UPDATE_PUBLIC_KEY\": \"";
    const size_t at = presets.find(key);
    ASSERT_NE(at, std::string::npos);
    const std::string preset = presets.substr(at + key.size(), 64);
    const auto fromPem = publicKeyHexOf(
        test::readFile(std::string(KORVEX_SOURCE_DIR) + "/tools/korvex-sign-update/demo-update-key.pem"));
    EXPECT_EQ(fromPem.value_or("unreadable"), preset);
}

}  // namespace
}  // namespace korvex::update
