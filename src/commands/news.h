#pragma once
// "Обновить новости": the short news text of the publisher site ("/news.txt", cp1251 text), fetched on
// demand only. The window shows the lines in Memo2, converting them to Unicode there.
#include <string>
#include <vector>

#include "checks/portal_addresses.h"
#include "net/proxy_check.h"

namespace korvex {

class THttpTransfer;

// The news address: the publisher's base address + "/news.txt".
std::string newsUrl(const PortalAddresses& addresses);

// The lines of a text, split at CR LF, LF or CR, without their line ends, as a memo shows them: a final
// line break closes the last line instead of opening an empty one, and the text ends at a NUL byte.
std::vector<std::string> splitNewsLines(std::string_view text);

// NewsClick's work. Applies the proxy setting first (a port that is not a number throws EConvertError
// from proxycheck, and nothing is sent), then GETs the news with its own URL as referer and without
// credentials: whatever account the component last logged in with stays out of the publisher's request.
// A completed transfer replaces `lines` with the received text's lines and answers true; an HTTP error
// status counts as completed, its page being the text. A failed transfer or any error while the text
// is taken in leaves `lines` as it was and answers false; nothing is reported. Curl1 ends with its
// receive stream detached and in GET mode.
bool fetchNews(THttpTransfer& Curl1, const ProxySettings& proxy, const PortalAddresses& addresses,
               std::vector<std::string>& lines);

}  // namespace korvex
