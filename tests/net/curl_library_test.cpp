#include "net/curl_library.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace korvex {
namespace {

using test::TempDir;

// The first folder holds only a folder named like the bundle, which is no bundle.
TEST(CaBundle, FirstFolderOnTheSearchPathWinsOverTheDistributionBundle) {
    TempDir first, second, other;
    std::filesystem::create_directory(first.path() / "curl-ca-bundle.crt");
    second.write("curl-ca-bundle.crt", "pem");
    second.write("unrelated.crt", "pem");
    const std::string distribution = other.write("ca-certificates.crt", "pem");
    const std::string path = first.path().string() + "::" + second.path().string() + "/";

    EXPECT_EQ(findCaBundle(path, {distribution}), second.path().string() + "/curl-ca-bundle.crt");
    EXPECT_EQ(findCaBundle(first.path().string(), {other.file("missing.crt"), distribution}), distribution);
    EXPECT_EQ(findCaBundle("", {other.file("missing.crt")}), "");
}

TEST(CaBundle, DirectoryIsThePathUpToItsLastSeparator) {
    EXPECT_EQ(caDirectoryOf("/etc/ssl/certs/ca-certificates.crt"), "/etc/ssl/certs/");
    EXPECT_EQ(caDirectoryOf("bundle.crt"), "");
}

TEST(CurlLibrary, ReportsItsProtocolsAndFindsACaBundleWhenItCanDoSsl) {
    const CurlLibrary& library = CurlLibrary::instance();
    ASSERT_TRUE(library.initialised());
    EXPECT_TRUE(library.protocols().contains("http"));
    EXPECT_TRUE(library.protocols().contains("https"));
    ASSERT_TRUE(library.features().ssl);
    if (!findCaBundle("", distributionCaBundles()).empty()) {
        EXPECT_FALSE(library.caBundlePath().empty());
        EXPECT_EQ(library.caDirectory(), caDirectoryOf(library.caBundlePath()));
    }
}

}  // namespace
}  // namespace korvex
