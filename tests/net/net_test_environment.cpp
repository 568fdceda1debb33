// Every request of these tests must go exactly where the test sends it: a proxy or a no-proxy
// list from the environment of the machine would change that.
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class NoProxyEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                                 "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
            unsetenv(name);
        }
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new NoProxyEnvironment);

}  // namespace
