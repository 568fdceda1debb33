#include "balance_checks.h"

#include <cstdint>

#include "codepage.h"
#include "pattern_matcher.h"
#include "receive_buffer.h"

namespace korvex {

namespace {

// One request's receive buffer on Curl1: attached for the request and detached when this goes,
// whatever the outcome, so that the component never points at a buffer that no longer exists.
// Meanwhile the receive handler is wrapped so that the buffer never grows past `limit`: a bigger
// answer ends the transfer with EMemoCapacity, which Perform() passes on, instead of taking all
// the memory there is. The handler the component had is put back afterwards.
class ReceiveSession {
public:
    ReceiveSession(THttpTransfer& curl, ReceiveBuffer& buffer, std::size_t limit)
        : m_curl(curl), m_previousHandler(curl.OnReceive()) {
        m_curl.setOnReceive([&buffer, limit, handler = m_previousHandler](
                                THttpTransfer& sender, const char* data, std::uint32_t len, bool& bContinue) {
            if (len > limit || buffer.size() > limit - len) throw EMemoCapacity();
            if (handler)
                handler(sender, data, len, bContinue);
            else
                appendToReceiveStream(sender, data, len, bContinue);
        });
        m_curl.setReceiveStream(&buffer);
    }
    ~ReceiveSession() {
        m_curl.setReceiveStream(nullptr);
        m_curl.setOnReceive(std::move(m_previousHandler));
    }
    ReceiveSession(const ReceiveSession&) = delete;
    ReceiveSession& operator=(const ReceiveSession&) = delete;

private:
    THttpTransfer& m_curl;
    THttpReceiveEvent m_previousHandler;
};

}  // namespace

BalanceChecks::BalanceChecks(AccountBook& book, THttpTransfer& Curl1, TextHolder& Memo1,
                             PortalAddresses addresses, std::function<ProxySettings()> proxySource,
                             UpdateProxySettings& update, const CheckClock& clock)
    : m_book(book),
      m_curl(Curl1),
      m_memo(Memo1),
      m_addresses(std::move(addresses)),
      m_proxySource(std::move(proxySource)),
      m_update(update),
      m_clock(clock) {}

void BalanceChecks::check39_95(int row) {
    runRoutine(kDispatchTable[0], row);
}
void BalanceChecks::check40_53(int row) {
    runRoutine(kDispatchTable[1], row);
}
void BalanceChecks::check42_5(int row) {
    runRoutine(kDispatchTable[2], row);
}
void BalanceChecks::checkR(int row) {
    runRoutine(kDispatchTable[3], row);
}
void BalanceChecks::check15_75_21_39_95(int row) {
    runRoutine(kDispatchTable[4], row);
}
void BalanceChecks::checkGL(int row) {
    runRoutine(kDispatchTable[5], row);
}
void BalanceChecks::checkSKYFI(int row) {
    runRoutine(kDispatchTable[6], row);
}
void BalanceChecks::check60(int row) {
    runRoutine(kDispatchTable[7], row);
}
void BalanceChecks::check602(int row) {
    runRoutine(kDispatchTable[8], row);
}

void BalanceChecks::checkRow(int row, const std::function<void(int routineIndex)>& afterRoutine) {
    m_curl.setHttpGet(true);
    for (int i = 0; i < kCheckRoutineCount; ++i) {
        runRoutine(kDispatchTable[i], row);
        if (afterRoutine) afterRoutine(i);
    }
    m_curl.setHttpGet(true);
}

void BalanceChecks::runRoutine(const CheckRoutine& routine, int row) {
    for (const ProviderProfile* profile : routine.profiles) runProfile(*profile, row);
}

void BalanceChecks::runProfile(const ProviderProfile& profile, int row) {
    TextGrid& stat = m_book.Stat;
    if (!planCodeSelects(profile, m_book.client.cell(kPlanCode, row))) return;

    // Outside the guarded section: a proxy port that is not a number ends the caller's run.
    if (profile.appliesProxy) proxycheck(m_proxySource ? m_proxySource() : ProxySettings{}, m_curl, m_update);

    stat.setCell(kPrevious, row, stat.cell(kBalance, row));

    {
        ReceiveBuffer buffer;
        ReceiveSession session(m_curl, buffer, m_memo.capacity());
        try {
            const std::string& login = m_book.client.cell(kLogin, row);
            const std::string& password = m_book.client.cell(kPassword, row);
            if (profile.login == LoginMethod::Basic) {
                m_curl.setUserPwd(login + ":" + password);
            } else {
                // The credentials of an earlier basic-login check must not go to this portal.
                m_curl.setUserPwd("");
                m_curl.setPostFields(postBody(profile, row));
            }
            m_curl.setURL(m_addresses.*profile.baseAddress + std::string(profile.path));
            m_curl.setReferer(m_curl.URL());

            if (m_curl.Perform()) {
                buffer.rewind();
                m_memo.setText(buffer.bytes());
                buffer = ReceiveBuffer();  // the page lives on in Memo1 only
                if (profile.login == LoginMethod::Form) m_curl.setPostFields("");
                runSteps(profile, row);
            }
        } catch (...) {
            // Whatever broke (a page too large for Memo1, a pattern, memory): the row shows it, the
            // cells written so far stay, and the run goes on.
            stat.setCell(kSpeed, row, std::string(kErrorMarker));
        }
    }

    if (profile.logoutPath.empty())
        m_curl.setHttpGet(true);
    else
        sendLogout(profile);
}

std::string BalanceChecks::postBody(const ProviderProfile& profile, int row) const {
    std::string body;
    for (const PostPart& part : profile.postBody) {
        switch (part.kind) {
            case PostPart::Text:
                body += part.text;
                break;
            case PostPart::Login:
                body += m_book.client.cell(kLogin, row);
                break;
            case PostPart::Password:
                body += m_book.client.cell(kPassword, row);
                break;
        }
    }
    return body;
}

void BalanceChecks::runSteps(const ProviderProfile& profile, int row) {
    TextGrid& stat = m_book.Stat;
    TPatternMatcher matcher;
    // The page as the patterns see it. Converting once serves every search: Memo1 does not change
    // between them.
    std::string converted;
    const std::string* page = &m_memo.text();
    if (profile.conversion == TextConversion::PageFromUtf8) {
        converted = utf8ToCp1251(m_memo.text());
        page = &converted;
    }

    for (const CheckStep& step : profile.steps) {
        switch (step.kind) {
            case StepKind::Pattern: {
                const bool utf8Portal = profile.conversion == TextConversion::PatternsToUtf8;
                matcher.SetExpression(utf8Portal ? cp1251ToUtf8(step.pattern) : std::string(step.pattern));
                if (matcher.Exec(*page)) {
                    std::string value = matcher.GroupText(1);
                    stat.setCell(step.column, row, utf8Portal ? utf8ToCp1251(value) : std::move(value));
                } else if (step.miss == MissRule::Marker) {
                    stat.setCell(step.column, row, std::string(kNotFoundMarker));
                }
                break;
            }
            case StepKind::Timestamp:
                stat.setCell(kDate, row, checkTimestamp(m_clock));
                break;
            case StepKind::EmptyText:
                stat.setCell(step.column, row, std::string());
                break;
            case StepKind::PlanCode:
                stat.setCell(kStatPlanCode, row, m_book.client.cell(kPlanCode, row));
                break;
        }
    }
}

void BalanceChecks::sendLogout(const ProviderProfile& profile) {
    // Sent whatever became of the login; its answer is discarded and its failures are nobody's
    // business.
    try {
        ReceiveBuffer discarded;
        ReceiveSession session(m_curl, discarded, m_memo.capacity());
        m_curl.setUserPwd("");
        m_curl.setPostFields("");
        m_curl.setURL(m_addresses.*profile.baseAddress + std::string(profile.logoutPath));
        m_curl.setReferer(m_curl.URL());
        m_curl.Perform();
    } catch (...) {
    }
}

}  // namespace korvex
