#include "commands/speed_change.h"

#include "checks/text_holder.h"
#include "net/http_transfer.h"
#include "net/receive_buffer.h"

namespace korvex {

namespace {

// clang-format off
const std::array<SpeedProfile, kSpeedProfileCount> kProfiles = {{
    {SpeedProfileId::SpaceGate75, "SpaceGate 75", PlanService::SpaceGate75, &PortalAddresses::spaceGate75,
     "/speed/", SpeedRequest::OnePost},
    {SpeedProfileId::SpaceGate95, "SpaceGate 95", PlanService::SpaceGate95, &PortalAddresses::spaceGate95,
     "/speed/", SpeedRequest::OnePost},
    {SpeedProfileId::SpaceGate21, "SpaceGate 21", PlanService::SpaceGate21, &PortalAddresses::spaceGate15_21,
     "/speed/", SpeedRequest::OnePost},
    {SpeedProfileId::SpaceGate39, "SpaceGate 39", PlanService::SpaceGate39, &PortalAddresses::spaceGate39,
     "/speed/", SpeedRequest::OnePost},
    {SpeedProfileId::SpectrumSat, "SpectrumSat",  PlanService::SpectrumSat, &PortalAddresses::spectrumSat,
     "/speed/", SpeedRequest::OnePost},
    {SpeedProfileId::PlanetSky,   "PlanetSky",    PlanService::PlanetSky,   &PortalAddresses::planetSky,
     "/speed/", SpeedRequest::OnePost},
    {SpeedProfileId::SkyFi,       "SKY-FI",       PlanService::SkyFi,       &PortalAddresses::skyFi,
     "/control/service.php", SpeedRequest::LoginThenChange},
}};

// "Изменить", the SKY-FI form's button, posted as cp1251 bytes without URL encoding.
#define KORVEX_CHANGE_BUTTON "\xC8\xE7\xEC\xE5\xED\xE8\xF2\xFC"
// " Кбит" of the captions.
#define KORVEX_KBIT " \xCA\xE1\xE8\xF2"

// SpaceGate's "128 Кбит" posts S=1 and "256 Кбит" S=3: no item posts S=2 there. SpectrumSat shows the
// caption's figure, PlanetSky (like SpaceGate and SKY-FI) the rounded one, with the same bodies.
const std::array<SpeedItemInfo, 9> kItems = {{
    // item               name      caption              SpaceGate 75/95/21/39     SpectrumSat
    //                                                   PlanetSky                 SKY-FI change post
    {SpeedItem::N641,   "N641",   "64" KORVEX_KBIT,   {},                       {"KEY=0&S=1", "64.00"},
                                                      {"KEY=0&S=1", "64.00"},   {}},
    {SpeedItem::N1281,  "N1281",  "128" KORVEX_KBIT,  {"S=1", "125.00"},        {"KEY=0&S=2", "128.00"},
                                                      {"KEY=0&S=2", "125.00"},  {}},
    {SpeedItem::N2561,  "N2561",  "256" KORVEX_KBIT,  {"S=3", "250.00"},        {"KEY=0&S=3", "256.00"},
                                                      {"KEY=0&S=3", "250.00"},
                                                      {"sp1=2&changesp=" KORVEX_CHANGE_BUTTON, "250.00"}},
    {SpeedItem::N5121,  "N5121",  "512" KORVEX_KBIT,  {"S=4", "500.00"},        {"KEY=0&S=4", "512.00"},
                                                      {"KEY=0&S=4", "500.00"},
                                                      {"sp1=3&changesp=" KORVEX_CHANGE_BUTTON, "500.00"}},
    {SpeedItem::N10241, "N10241", "1024" KORVEX_KBIT, {"S=5", "1000.00"},       {"KEY=0&S=5", "1024.00"},
                                                      {"KEY=0&S=5", "1000.00"},
                                                      {"sp1=4&changesp=" KORVEX_CHANGE_BUTTON, "1000.00"}},
    {SpeedItem::N20481, "N20481", "2048" KORVEX_KBIT, {"S=6", "2000.00"},       {"KEY=0&S=6", "2048.00"},
                                                      {"KEY=0&S=6", "2000.00"},
                                                      {"sp1=5&changesp=" KORVEX_CHANGE_BUTTON, "2000.00"}},
    {SpeedItem::N30721, "N30721", "3072" KORVEX_KBIT, {"S=7", "3000.00"},       {"KEY=0&S=7", "3072.00"},
                                                      {"KEY=0&S=7", "3000.00"}, {}},
    {SpeedItem::N40961, "N40961", "4096" KORVEX_KBIT, {"S=8", "4000.00"},       {"KEY=0&S=8", "4096.00"},
                                                      {"KEY=0&S=8", "4000.00"}, {}},
    {SpeedItem::N51201, "N51201", "5120" KORVEX_KBIT, {},                       {"KEY=0&S=9", "5120.00"},
                                                      {"KEY=0&S=9", "5000.00"}, {}},
}};
// clang-format on

#undef KORVEX_CHANGE_BUTTON
#undef KORVEX_KBIT

constexpr std::array<SpeedProfileId, kSpeedProfileCount> kTestOrder = {
    SpeedProfileId::SpaceGate75, SpeedProfileId::SpaceGate95, SpeedProfileId::SpaceGate21,
    SpeedProfileId::SpaceGate39, SpeedProfileId::SpectrumSat, SpeedProfileId::PlanetSky,
    SpeedProfileId::SkyFi,
};
constexpr std::array<SpeedProfileId, kSpeedProfileCount> kTestOrder1024 = {
    SpeedProfileId::SpaceGate75, SpeedProfileId::SpaceGate95, SpeedProfileId::SpaceGate21,
    SpeedProfileId::SpaceGate39, SpeedProfileId::SpectrumSat, SpeedProfileId::SkyFi,
    SpeedProfileId::PlanetSky,
};

// "Смена скорости на логине " and " на ", cp1251.
constexpr std::string_view kConfirmHead =
    "\xD1\xEC\xE5\xED\xE0 \xF1\xEA\xEE\xF0\xEE\xF1\xF2\xE8 \xED\xE0 \xEB\xEE\xE3\xE8\xED\xE5 ";
constexpr std::string_view kConfirmOn = " \xED\xE0 ";

// Owns Curl1's side of one speed change: attaches a fresh receive buffer and, on the way out however it
// is taken, detaches it, drops the account's credentials and returns Curl1 to GET requests, so that
// neither the password nor a dangling buffer outlives the change.
class Curl1Session {
public:
    explicit Curl1Session(THttpTransfer& curl) : m_curl(curl) { m_curl.setReceiveStream(&m_buffer); }
    ~Curl1Session() {
        m_curl.setReceiveStream(nullptr);
        m_curl.setUserPwd({});
        m_curl.setHttpGet(true);
    }
    Curl1Session(const Curl1Session&) = delete;
    Curl1Session& operator=(const Curl1Session&) = delete;

    // Loads everything received so far into the memo, leaving the buffer's position at its end so
    // that a further answer is appended behind it.
    void loadInto(TextHolder& memo) {
        m_buffer.rewind();
        memo.setText(m_buffer.bytes());
        m_buffer.seek(m_buffer.size());
    }

private:
    THttpTransfer& m_curl;
    ReceiveBuffer m_buffer;
};

bool matches(const SpeedProfile& profile, std::string_view planCode) {
    return selectsCheck(planCode, profile.service);
}

}  // namespace

const SpeedItemInfo& speedItemInfo(SpeedItem item) {
    return kItems[static_cast<std::size_t>(item)];
}

std::optional<SpeedItem> speedItemFromName(std::string_view name) {
    for (const SpeedItemInfo& info : kItems) {
        if (info.name == name) return info.item;
    }
    return std::nullopt;
}

const std::array<SpeedProfile, kSpeedProfileCount>& speedProfiles() {
    return kProfiles;
}

const SpeedProfile& speedProfile(SpeedProfileId id) {
    return kProfiles[static_cast<std::size_t>(id)];
}

SpeedOffer speedOffer(SpeedItem item, SpeedProfileId profile) {
    const SpeedItemInfo& info = speedItemInfo(item);
    switch (profile) {
        case SpeedProfileId::SpaceGate75:
        case SpeedProfileId::SpaceGate95:
        case SpeedProfileId::SpaceGate21:
        case SpeedProfileId::SpaceGate39:
            return info.spaceGate;
        case SpeedProfileId::SpectrumSat:
            return info.spectrumSat;
        case SpeedProfileId::PlanetSky:
            return info.planetSky;
        case SpeedProfileId::SkyFi:
            return info.skyFi;
    }
    return {};
}

std::vector<SpeedProfileId> speedTestOrder(SpeedItem item) {
    const auto& order = item == SpeedItem::N10241 ? kTestOrder1024 : kTestOrder;
    std::vector<SpeedProfileId> served;
    for (SpeedProfileId id : order) {
        if (speedOffer(item, id).served()) served.push_back(id);
    }
    return served;
}

const SpeedProfile* speedProfileFor(SpeedItem item, std::string_view planCode) {
    for (SpeedProfileId id : speedTestOrder(item)) {
        const SpeedProfile& profile = speedProfile(id);
        if (matches(profile, planCode)) return &profile;
    }
    return nullptr;
}

std::vector<SpeedItem> speedItemsFor(std::string_view planCode) {
    std::vector<SpeedItem> items;
    for (SpeedItem item : kSpeedItems) {
        if (speedProfileFor(item, planCode)) items.push_back(item);
    }
    return items;
}

std::vector<SpeedItem> speedMenuItems(std::string_view planCode) {
    using I = SpeedItem;
    const PlanCode* code = findPlanCode(planCode);
    switch (code ? code->speedMenu : SpeedMenu::AllItems) {
        case SpeedMenu::SatGateItems: return {I::N1281, I::N2561, I::N5121, I::N10241, I::N20481};
        case SpeedMenu::SkyFiItems: return {I::N2561, I::N5121, I::N10241, I::N20481};
        case SpeedMenu::NoItems: return {};
        case SpeedMenu::AllItems: break;
    }
    return {kSpeedItems.begin(), kSpeedItems.end()};
}

std::string speedChangeConfirmText(std::string_view login, std::string_view caption) {
    std::string text;
    text.reserve(kConfirmHead.size() + login.size() + kConfirmOn.size() + caption.size());
    text.append(kConfirmHead).append(login).append(kConfirmOn).append(caption);
    return text;
}

std::string speedChangeQuestion(SpeedItem item, int row, const AccountBook& book) {
    return speedChangeConfirmText(book.Stat.cell(kStatLogin, row), speedItemInfo(item).caption);
}

std::string skyFiLoginBody(std::string_view login, std::string_view password) {
    std::string body = "user_name=";
    body.append(login).append("&user_pass=").append(password).append("&submit=1");
    return body;
}

SpeedChangeResult changeSpeed(SpeedItem item, int row, AccountBook& book, THttpTransfer& Curl1,
                              TextHolder& Memo1, const PortalAddresses& addresses,
                              const std::function<void()>& repaint) {
    const SpeedProfile* profile = speedProfileFor(item, book.client.cell(kPlanCode, row));
    if (!profile) return SpeedChangeResult::NotServed;
    const SpeedOffer offer = speedOffer(item, profile->id);
    const std::string login = book.client.cell(kLogin, row);
    const std::string password = book.client.cell(kPassword, row);

    if (repaint) repaint();
    Curl1Session session(Curl1);
    Curl1.setUserPwd(login + ":" + password);
    Curl1.setPostFields(profile->request == SpeedRequest::OnePost ? std::string(offer.body)
                                                                  : skyFiLoginBody(login, password));
    Curl1.setURL(addresses.*profile->base + std::string(profile->path));
    Curl1.setReferer(Curl1.URL());
    if (!Curl1.Perform()) return SpeedChangeResult::TransferFailed;

    if (profile->request == SpeedRequest::LoginThenChange) {
        session.loadInto(Memo1);
        // Same URL, referer and credentials; the cookie engine sends the session the login set.
        Curl1.setPostFields(offer.body);
        // Showing the new speed when the change never reached the portal would tell the user it
        // changed when it did not, so a failed change post writes nothing, as a failed post does
        // everywhere else.
        if (!Curl1.Perform()) return SpeedChangeResult::ChangeFailed;
    }
    session.loadInto(Memo1);
    Curl1.setPostFields({});
    book.Stat.setCell(kSpeed, row, std::string(offer.text));
    return SpeedChangeResult::Written;
}

}  // namespace korvex
