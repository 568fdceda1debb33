#include "checks/balance_checks.h"

#include <cstdint>

#include "checks/page_values.h"
#include "checks/profile_edits.h"

#include "net/receive_buffer.h"
#include "platform/codepage.h"
#include "regex/pattern_matcher.h"

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

// What the transfer component says about its failed transfer; libcurl's text for the code when its
// error buffer stayed empty.
std::string transferErrorText(const THttpTransfer& curl) {
    std::string text = curl.ErrorText();
    if (text.empty() && curl.ResultCode() != 0) text = curl_easy_strerror(static_cast<CURLcode>(curl.ResultCode()));
    return text;
}

// Whether the exception being handled is a search that the stop or the time limit ended.
bool searchStopped() {
    try {
        throw;
    } catch (const EPatternMatcher& e) {
        return e.ErrorCode() == kPmExecStopped;
    } catch (...) {
        return false;
    }
}

// "64 MiB", "16 KiB", "100 bytes".
std::string sizeText(std::size_t bytes) {
    if (bytes > 0 && bytes % (1024 * 1024) == 0) return std::to_string(bytes >> 20) + " MiB";
    if (bytes > 0 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

// The message of the exception being handled; a page over the limit says the limit.
std::string currentErrorText(std::size_t pageLimit) {
    try {
        throw;
    } catch (const EMemoCapacity&) {
        return "the page is larger than " + sizeText(pageLimit);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

}  // namespace

BalanceChecks::BalanceChecks(AccountBook& book, THttpTransfer& Curl1, TextHolder& Memo1,
                             PortalAddresses addresses, std::function<ProxySettings()> proxySource, const CheckClock& clock)
    : m_book(book),
      m_curl(Curl1),
      m_memo(Memo1),
      m_addresses(std::move(addresses)),
      m_proxySource(std::move(proxySource)),
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

RowCheck BalanceChecks::checkRow(int row, const std::function<void(int routineIndex)>& afterRoutine) {
    RowCheck result;
    result.row = row;
    m_curl.setHttpGet(true);
    for (int i = 0; i < kCheckRoutineCount; ++i) {
        RowCheck check = runRoutine(kDispatchTable[i], row);
        if (check.outcome != CheckOutcome::PassedOver) result = std::move(check);
        if (afterRoutine) afterRoutine(i);
    }
    m_curl.setHttpGet(true);
    return result;
}

RowCheck BalanceChecks::runRoutine(const CheckRoutine& routine, int row) {
    RowCheck result;
    result.row = row;
    for (const ProviderProfile* profile : routine.profiles) {
        RowCheck check = runProfile(*profile, row);
        if (check.outcome != CheckOutcome::PassedOver) result = std::move(check);
    }
    return result;
}

RowCheck BalanceChecks::runProfile(const ProviderProfile& builtIn, int row) {
    // What Portals.ini changed of the profile (its paths and patterns), when it changed anything.
    const ProviderProfile& profile = effectiveProfile(m_addresses, builtIn);
    TextGrid& stat = m_book.Stat;
    RowCheck check;
    check.row = row;
    if (!planCodeSelects(profile, m_book.client.cell(kPlanCode, row))) return check;
    check.profile = std::string(profile.name);
    check.portal = m_addresses.*profile.baseAddress;
    // A portal the build left without its address: nothing to ask, and the row keeps its cells.
    if (isPlaceholderAddress(check.portal)) {
        check.outcome = CheckOutcome::AddressNotSet;
        return check;
    }

    // Outside the guarded section: a proxy port that is not a number ends the caller's run.
    if (profile.appliesProxy) proxycheck(m_proxySource ? m_proxySource() : ProxySettings{}, m_curl);

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
                check.outcome = CheckOutcome::PageRead;  // so far: an error in the steps overrides it
                check.missedColumns = runSteps(profile, row);
                if (!check.missedColumns.empty()) check.outcome = CheckOutcome::NotFound;
            } else {
                check.resultCode = m_curl.ResultCode();
                check.errorText = transferErrorText(m_curl);
                // Only requestAbort() (or a handler that declines the data) ends a transfer this way.
                check.outcome = check.resultCode == CURLE_ABORTED_BY_CALLBACK ? CheckOutcome::Stopped
                                                                             : CheckOutcome::TransferFailed;
            }
        } catch (...) {
            if (searchStopped()) {
                // The stop or the time limit ended a search: as an aborted transfer, nothing written.
                check.outcome = CheckOutcome::Stopped;
                check.resultCode = CURLE_ABORTED_BY_CALLBACK;
            } else {
                // Whatever broke (a page too large for Memo1, a pattern, memory): the row shows it, the
                // cells written so far stay, and the run goes on.
                stat.setCell(kSpeed, row, std::string(kErrorMarker));
                check.outcome = CheckOutcome::ErrorMarker;
                check.resultCode = m_curl.ResultCode();
                check.errorText = currentErrorText(m_memo.capacity());
            }
        }
    }

    if (profile.logoutPath.empty())
        m_curl.setHttpGet(true);
    else
        sendLogout(profile);
    return check;
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

std::vector<int> BalanceChecks::runSteps(const ProviderProfile& profile, int row) {
    TextGrid& stat = m_book.Stat;
    std::vector<int> missed;
    // Every search first, as Curl1 runs a transfer: whatever ends a transfer (the stop, the time
    // limit) ends a search too, before any cell is written. Then the cells, step by step.
    PageValues values;
    m_curl.runAbortable([&](const std::atomic<bool>& stop) { values = findPageValues(profile, m_memo.text(), &stop); });
    std::size_t next = 0;

    for (const CheckStep& step : profile.steps) {
        switch (step.kind) {
            case StepKind::Pattern: {
                // The cells of the steps before a pattern that failed stay written.
                if (next == values.findings.size()) throw std::runtime_error(values.problem);
                if (std::optional<std::string> found = std::move(values.findings[next++].value)) {
                    stat.setCell(step.column, row, std::move(*found));
                } else if (step.miss == MissRule::Marker) {
                    stat.setCell(step.column, row, std::string(kNotFoundMarker));
                    missed.push_back(step.column);
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
    return missed;
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
