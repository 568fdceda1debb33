#include <gtest/gtest.h>

#include "update/engine/login_component.h"

namespace korvex {
namespace {

TEST(LoginInfo, RecordsReadBackAsWritten) {
    struct Case {
        std::string user, password;
    };
    const Case cases[] = {{"user", "secret"}, {"", "only password"}, {"only user", ""},
                          {"\xC8\xE2\xE0\xED", "\x01\xFF\x00x"}, {std::string(200, 'u'), std::string(54, 'p')}};
    for (const Case& c : cases) {
        const auto record = encodeLoginInfo(c.user, c.password);
        ASSERT_TRUE(record) << c.user;
        const auto n = static_cast<unsigned char>((*record)[0]);
        EXPECT_EQ(n, 1 + c.user.size() + c.password.size());
        EXPECT_EQ(record->size(), n + 1u);
        // The bytes are masked: the password is not in the record as it stands.
        if (c.password.size() > 3) {
            EXPECT_EQ(record->find(c.password), std::string::npos);
        }
        const auto info = decodeLoginInfo(*record);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->username, c.user);
        EXPECT_EQ(info->password, c.password);
    }
}

TEST(LoginInfo, TooLongAndMalformedRecordsAreRefused) {
    // 255 bytes of credentials do not fit a length byte: refused, not stored cut short.
    EXPECT_FALSE(encodeLoginInfo(std::string(200, 'u'), std::string(55, 'p')));
    const std::string good = *encodeLoginInfo("user", "pw");
    const std::string bad[] = {"", std::string(1, '\0'), good.substr(0, good.size() - 1),
                               // a user-name length beyond the record
                               std::string{static_cast<char>(2), static_cast<char>(9 ^ loginInfoMask(2)), 'x'}};
    for (const std::string& record : bad) EXPECT_FALSE(decodeLoginInfo(record)) << record.size();

    TupLoginComponent component;
    component.setHTTPUsername("keep");
    EXPECT_FALSE(component.loadLoginInfoRecord(bad[2]));
    EXPECT_EQ(component.HTTPUsername(), "keep");
    EXPECT_TRUE(component.loadLoginInfoRecord(good));
    EXPECT_EQ(component.HTTPUsername(), "user");
    EXPECT_EQ(component.LoginInfoRecord(), good);
    EXPECT_EQ(TupLoginComponent{}.LoginInfoRecord(), "");
}

}  // namespace
}  // namespace korvex
