#pragma once
// The HTML the substitute portals answer with, in UTF-8 (the server converts a cp1251 portal's page
// as a whole). Each account page holds the texts that the program's patterns for that portal look for,
// with the account's values placed so that each pattern's group takes exactly one value; login and error
// pages hold none of those texts.
#include "korvex-demo-portals/demo_accounts.h"

#include <string>
#include <string_view>

namespace korvex::pages {

std::string spectrumSat(const DemoAccount& a);
std::string raduga(const DemoAccount& a);
std::string spaceGate(const DemoAccount& a, std::string_view portalTitle);
std::string planetSky(const DemoAccount& a);
std::string globax(const DemoAccount& a);
std::string satGate(const DemoAccount& a);
std::string skyFi(const DemoAccount& a);
std::string stv(const DemoAccount& a, std::string_view gate);

// Login forms, shown for a GET without a session and after a refused login (`refused` adds a line
// saying the login or password was wrong).
std::string globaxLogin(bool refused);
std::string satGateLogin(bool refused);
std::string skyFiLogin(bool refused);
std::string stvLogin(std::string_view gate, bool refused, bool loggedOut);

// SKY-FI's service page behind /control/service.php, with `note` as the result of a change request.
std::string skyFiService(const DemoAccount& a, std::string_view note);

// The speed-change pages of the basic-login portals: the form (GET) and the answer to a post.
std::string speedForm(std::string_view portalTitle, std::string_view currentSpeed);
std::string speedAnswer(std::string_view portalTitle, bool accepted, std::string_view speed);

std::string unauthorized(std::string_view portalTitle);
std::string notFound(std::string_view target);
std::string serverError();
std::string serviceUnavailable();

// The publisher site.
std::string publisherHome();
std::string publisherPay();
std::string publisherDownload();
std::string publisherNews();  // cp1251 is applied by the caller like every other publisher page

// The update info file at `publisherBase` + "/inf", offering 3.2.0.2 with kUpdateFilePath as its file
// (UTF-8; cp1251 is applied by the caller).
std::string publisherUpdateInfo(const std::string& publisherBase);
inline constexpr std::string_view kUpdateInfoPath = "/inf";
inline constexpr std::string_view kUpdateFilePath = "/download/korvex";

// "/component/option,com_remository/Itemid,65/func,fileinfo/id,72/"
extern const std::string_view kPublisherDownloadPath;

}  // namespace korvex::pages
