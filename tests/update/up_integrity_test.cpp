#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/temp_dir.h"
#include "update/up_integrity.h"

namespace korvex::update {
namespace {

namespace fs = std::filesystem;

constexpr const char* kInfo =
    "#version=3.2.0.2\r\n"
    "#url=http://h/upd/korvex\r\n"
    "#url2=http://h/upd/a.dat=%appdata%\\Sub\\a.dat\r\n"
    "#message={Новая версия}\r\n";

// Our keys are read by the same lookup as every other key, so they must not disturb it: a digest
// key never answers for its entry key, and the numbering of entries is unchanged.
TEST(InfoFileKeys, LookupAndEntryKeys) {
    const std::string text = std::string("#url.sha256=ab\r\n#URL1.SHA256=cd\r\n") + kInfo + "#url0=x";
    EXPECT_EQ(infoValue(text, "#url"), "http://h/upd/korvex");
    EXPECT_EQ(infoValue(text, "#url0"), "");  // the text's last character is lost
    EXPECT_EQ(infoValue(text, "#url1.sha256"), "cd");
    EXPECT_EQ(infoFileEntryKeys(text), (std::vector<std::string>{"#url", "#url2"}));
    EXPECT_EQ(infoFileEntryKeys("#url1=a\n#url2=b\n#url4=c\n"), (std::vector<std::string>{"#url1", "#url2"}));
    EXPECT_EQ(infoFileEntryKeys("#url0=a\n#url=b\n#url2=c\n#url3=d\n"),
              (std::vector<std::string>{"#url", "#url0", "#url3"}));
    EXPECT_EQ(entryDigest(text, "http://h/upd/korvex"), "ab");
    EXPECT_EQ(entryDigest(text, "http://h/upd/a.dat"), "");
}

class SignedInfo : public ::testing::Test {
protected:
    void SetUp() override {
        auto pair = generateKeyPair();
        ASSERT_TRUE(pair);
        keys = *pair;
        auto digested = withDigests(kInfo, [](const std::string& key, const std::string&) {
            return std::optional<std::string>(sha256Hex(key == "#url" ? "program" : "data"));
        });
        ASSERT_TRUE(digested);
        auto done = signInfoText(*digested, keys.privatePem);
        ASSERT_TRUE(done);
        text = *done;
    }
    KeyPair keys;
    std::string text;
};

// Under a key only a file signed with it, with a digest for every entry, is used; a file that was
// changed in any byte, or that carries no signature, is refused. Without a key everything is used.
TEST_F(SignedInfo, TrustUnderAKey) {
    const auto other = generateKeyPair();
    ASSERT_TRUE(other);
    std::string newer = text;
    newer.replace(newer.find("3.2.0.2"), 7, "3.2.0.9");
    std::string lowerCaseKey = text;
    lowerCaseKey.replace(lowerCaseKey.find("#signature"), 10, "#SIGNATURE");
    std::string badHex = text;
    badHex.replace(badHex.find("#signature=") + 11, 2, "zz");
    std::string noDigest = kInfo;
    auto signedWithoutDigests = signInfoText(kInfo, keys.privatePem);
    ASSERT_TRUE(signedWithoutDigests);

    const struct {
        const char* what;
        std::string text;
        std::string key;
        InfoTrust trust;
    } cases[] = {
        {"signed", text, keys.publicHex, InfoTrust::Accepted},
        {"the key's hex in capitals", text, [&] {
             std::string k = keys.publicHex;
             for (char& c : k) c = static_cast<char>(toupper(c));
             return k;
         }(), InfoTrust::Accepted},
        {"the signature key in capitals", lowerCaseKey, keys.publicHex, InfoTrust::Accepted},
        {"a changed version", newer, keys.publicHex, InfoTrust::BadSignature},
        {"a line added", text + "#url3=http://evil/x\r\n", keys.publicHex, InfoTrust::BadSignature},
        {"another key", text, other->publicHex, InfoTrust::BadSignature},
        {"a broken signature", badHex, keys.publicHex, InfoTrust::BadSignature},
        {"unsigned", kInfo, keys.publicHex, InfoTrust::NoSignature},
        {"signed without digests", *signedWithoutDigests, keys.publicHex, InfoTrust::MissingDigest},
        {"a key that is no key", text, "1234", InfoTrust::BadPublicKey},
        {"no key in the build", kInfo, "", InfoTrust::Accepted},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(checkInfoFile(c.text, c.key), c.trust) << infoTrustText(checkInfoFile(c.text, c.key));
    }
    EXPECT_EQ(signedPart(text), text.substr(0, text.find("#signature")));
}

// A downloaded file is installed only when it is the file the info file describes.
TEST_F(SignedInfo, DownloadedFileMustMatchItsDigest) {
    test::TempDir dir;
    const std::string good = dir.write("korvex.updtmp", "program");
    const std::string bad = dir.write("a.dat.updtmp", "tampered");
    EXPECT_TRUE(downloadedFileAcceptable(good, text, "http://h/upd/korvex", keys.publicHex));
    EXPECT_FALSE(downloadedFileAcceptable(bad, text, "http://h/upd/a.dat", keys.publicHex));
    EXPECT_FALSE(downloadedFileAcceptable(bad, text, "http://h/upd/a.dat", ""));  // a digest given is checked
    EXPECT_FALSE(downloadedFileAcceptable(dir.file("missing"), text, "http://h/upd/korvex", ""));
    // An entry the info file gives no digest for: refused under a key, taken without one.
    EXPECT_FALSE(downloadedFileAcceptable(good, text, "http://h/upd/other", keys.publicHex));
    EXPECT_TRUE(downloadedFileAcceptable(good, kInfo, "http://h/upd/korvex", ""));
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
    const std::string info = dir.write("korvex.info", "#version=3.2.0.2\n#url=http://h/upd/korvex\n#url2=http://h/upd/a.dat");
    const std::string key = dir.file("publisher.pem");

    const ToolRun made = runTool(dir, {"keygen", key});
    ASSERT_EQ(made.status, 0);
    const std::string publicHex = made.out.substr(0, made.out.find('\n'));
    EXPECT_EQ(runTool(dir, {"public-key", key}).out, made.out);
    EXPECT_EQ(runTool(dir, {"keygen", key}).status, 1) << "an existing key was overwritten";

    EXPECT_EQ(runTool(dir, {"sign", "--key", key, "--files", dir.file("files é"), info}).status, 0);
    const std::string text = test::readFile(info);
    EXPECT_EQ(checkInfoFile(text, publicHex), InfoTrust::Accepted);
    EXPECT_EQ(infoValue(text, "#url2"), "http://h/upd/a.dat") << "the last line was not ended first";
    EXPECT_EQ(entryDigest(text, "http://h/upd/a.dat"), sha256Hex("data"));
    EXPECT_EQ(runTool(dir, {"verify", "--public-key", publicHex, "--files", dir.file("files é"), info}).status, 0);
    // Signing again replaces the digests and the signature instead of adding more.
    EXPECT_EQ(runTool(dir, {"sign", "--key", key, "--files", dir.file("files é"), info}).status, 0);
    EXPECT_EQ(test::readFile(info), text);

    dir.write("files é/a.dat", "changed after signing");
    EXPECT_EQ(runTool(dir, {"verify", "--public-key", publicHex, "--files", dir.file("files é"), info}).status, 1);
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
    const auto fromPem =
        publicKeyHexOf(test::readFile(std::string(KORVEX_SOURCE_DIR) + "/tools/korvex-sign-update/demo-update-key.pem"));
    EXPECT_EQ(fromPem.value_or("unreadable"), preset);
}

}  // namespace
}  // namespace korvex::update
