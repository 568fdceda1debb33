#pragma once
// Speed change: the nine items of the balance table's submenu "Смена скорости" post a speed plan to the
// portal of the account in the current row, logged in with that account's credentials, and write the
// new speed into balance column 3 once the portal took the request. The portal's answer goes into the
// hidden memo but is not read: a request that completes counts as done, as the portals give no answer
// we could rely on.
//
// The window asks the user first (speedChangeConfirmText, title kSpeedConfirmTitle, Yes and No) and
// calls changeSpeed only after Yes.
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "book/account_book.h"
#include "checks/plan_codes.h"
#include "checks/portal_addresses.h"

namespace korvex {

class THttpTransfer;
class TextHolder;

// The items in menu order; each is named after its menu item (handler: name + "Click").
enum class SpeedItem { N641, N1281, N2561, N5121, N10241, N20481, N30721, N40961, N51201 };
inline constexpr std::array<SpeedItem, 9> kSpeedItems = {
    SpeedItem::N641,   SpeedItem::N1281,  SpeedItem::N2561,  SpeedItem::N5121,  SpeedItem::N10241,
    SpeedItem::N20481, SpeedItem::N30721, SpeedItem::N40961, SpeedItem::N51201,
};

// The portals that take speed changes, in the order an item tests them (but see speedTestOrder).
enum class SpeedProfileId {
    SpaceGate75,
    SpaceGate95,
    SpaceGate21,
    SpaceGate39,
    SpectrumSat,
    PlanetSky,
    SkyFi
};
inline constexpr std::size_t kSpeedProfileCount = 7;

enum class SpeedRequest {
    OnePost,         // one post of the speed body, with the account's credentials
    LoginThenChange  // SKY-FI: a login post, then the change post with the session cookie it set
};

struct SpeedProfile {
    SpeedProfileId id;
    std::string_view name;
    PlanService service;  // the service whose check codes select this portal
    std::string PortalAddresses::*base;
    std::string_view path;
    SpeedRequest request;
};

// What one item posts to one portal, and the text that then goes into balance column 3 (two decimals,
// a point, no unit). An empty body: the item does not serve that portal.
struct SpeedOffer {
    std::string_view body;
    std::string_view text;
    bool served() const { return !body.empty(); }
};

struct SpeedItemInfo {
    SpeedItem item;
    std::string_view name;     // "N641"
    std::string_view caption;  // "64 Кбит", cp1251
    SpeedOffer spaceGate;      // the same for SpaceGate 75, 95, 21 and 39
    SpeedOffer spectrumSat;
    SpeedOffer planetSky;
    SpeedOffer skyFi;  // the change post; the login post comes first
};

inline constexpr const char* kSpeedConfirmTitle = "Confirm";

const SpeedItemInfo& speedItemInfo(SpeedItem item);
std::optional<SpeedItem> speedItemFromName(std::string_view name);  // "N10241"; exact
const std::array<SpeedProfile, kSpeedProfileCount>& speedProfiles();
const SpeedProfile& speedProfile(SpeedProfileId id);

SpeedOffer speedOffer(SpeedItem item, SpeedProfileId profile);
// The portals the item serves, in the order it tests a plan code against them. "1024 Кбит" tests
// SKY-FI before PlanetSky; as no plan code belongs to two portals, the order never changes the outcome.
std::vector<SpeedProfileId> speedTestOrder(SpeedItem item);
// The portal the item would post to for an account with this plan code; none when it serves none.
const SpeedProfile* speedProfileFor(SpeedItem item, std::string_view planCode);
// The items that would post something for this plan code (which items the menu enables is
// speedMenuItems, not this).
std::vector<SpeedItem> speedItemsFor(std::string_view planCode);
// The items the balance table's menu enables for a row with this plan code, in menu order. The menu
// keeps its own rule rather than speedItemsFor: it limits the codes the plan-code table marks (one
// code each of SatGate and SKY-FI, and Raduga's code to none at all), and offers all nine for every
// other code, including codes whose portal takes no speed change (choosing one then sends nothing).
std::vector<SpeedItem> speedMenuItems(std::string_view planCode);

// The question asked before a change: "Смена скорости на логине " + login + " на " + caption, cp1251.
// The login is balance column 0 as shown, empty or not.
std::string speedChangeConfirmText(std::string_view login, std::string_view caption);
// The question for `item` on balance row `row`: the login as the balance table shows it (column 0),
// which may differ from the account table's until the tables are synchronised.
std::string speedChangeQuestion(SpeedItem item, int row, const AccountBook& book);

// The SKY-FI login post: the login and password inserted as typed, without escaping.
std::string skyFiLoginBody(std::string_view login, std::string_view password);

enum class SpeedChangeResult {
    NotServed,       // the plan code matches no portal of the item: nothing sent, nothing written
    TransferFailed,  // the (login) request did not complete: column 3 unchanged
    ChangeFailed,    // SKY-FI: logged in, but the change post did not complete: column 3 unchanged
    Written,         // the portal took the request: column 3 holds the item's text
};

// The change itself, after the user said Yes, for account row `row` (login, password and plan code
// from the account table). `repaint` is called once, just before the first request.
//
// Curl1 is used with whatever proxy it holds. Every request carries the account's credentials and
// names its own URL as referer. The portal's answer is loaded into Memo1 (for SKY-FI the login
// answer, then both answers together). Afterwards the credentials are cleared, the receive stream is
// detached and Curl1 is back to GET requests, on every path out, exceptions included; after a
// completed change its post body is empty too.
//
// Exceptions from Memo1 (a text over its capacity) and from the transfer's own events pass to the
// caller; column 3 is then left as it was.
SpeedChangeResult changeSpeed(SpeedItem item, int row, AccountBook& book, THttpTransfer& Curl1,
                              TextHolder& Memo1, const PortalAddresses& addresses,
                              const std::function<void()>& repaint);

}  // namespace korvex
