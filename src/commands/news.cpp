#include "commands/news.h"

#include <string_view>

#include "checks/text_holder.h"
#include "net/http_transfer.h"
#include "net/receive_buffer.h"

namespace korvex {

std::string newsUrl(const PortalAddresses& addresses) {
    return addresses.publisher + "/news.txt";
}

std::vector<std::string> splitNewsLines(std::string_view text) {
    if (const auto nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t brk = text.find_first_of("\r\n", pos);
        if (brk == std::string_view::npos) {
            lines.emplace_back(text.substr(pos));
            break;
        }
        lines.emplace_back(text.substr(pos, brk - pos));
        pos = brk + (text[brk] == '\r' && brk + 1 < text.size() && text[brk + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

bool fetchNews(THttpTransfer& Curl1, const ProxySettings& proxy, const PortalAddresses& addresses,
               std::vector<std::string>& lines) {
    proxycheck(proxy, Curl1);

    ReceiveBuffer buffer;
    Curl1.setReceiveStream(&buffer);
    bool replaced = false;
    try {
        Curl1.setUserPwd({});
        Curl1.setHttpGet(true);
        Curl1.setURL(newsUrl(addresses));
        Curl1.setReferer(Curl1.URL());
        if (Curl1.Perform()) {
            // Taken in as the memo would hold it, so a text beyond its capacity is refused the
            // same way, before the caller's lines are touched.
            TextHolder memo;
            buffer.rewind();
            memo.setText(buffer.bytes());
            std::vector<std::string> received = splitNewsLines(memo.text());
            lines.swap(received);
            replaced = true;
        }
    } catch (...) {
        // The news is a courtesy: whatever went wrong, the old text stays and nothing is shown.
    }
    Curl1.setReceiveStream(nullptr);
    Curl1.setHttpGet(true);
    return replaced;
}

}  // namespace korvex
