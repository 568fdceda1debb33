#pragma once
// What the program says about a run, in one table per kind: the run summary's categories (a line of
// korvex-cli's summary and the notify text, a line of the window's tray message, a member of the
// summary's JSON) and what became of one row (korvex-cli's line about the row, the window's note on
// it and its word in the caption after a run). Both fronts read their words here, so a new category
// is a row of kSummaryCategories plus the list in RunSummary that holds its items.
//
// Texts are UTF-8 patterns with named fields in braces ("{portal}"), filled by fillText; the comment
// on each category says which fields its callers give.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "checks/check_outcome.h"

namespace korvex {

enum class SummaryCategory {
    ChangedPage,         // {portal} {address} {logins}
    RefusedCertificate,  // {portal} {address} {count} {accounts} {logins}
    AddressNotSet,       // {portal} {address} {count} {accounts} {logins}
    ValuesNotFound,      // {row} {login}
    UnknownPlanCode,     // {row} {login} {plan}
    LowBalance,          // {row} {login} {balance}
    FewDaysLeft,         // {row} {login} {balance} {days} {daysText}
    FailedTransfer,      // {portal} {address} {count} {accounts} {logins} {error}
    FallenBalance,       // {row} {login} {previous} {balance}
};

struct SummaryCategoryTexts {
    SummaryCategory category;
    std::string_view jsonKey;  // the member of summaryJson that lists the items
    std::string_view english;        // a line of summaryText
    std::string_view englishDetail;  // added to `english` when there is an error text
    std::string_view russian;        // a line of the window's tray message and tooltip
};

// The summary's first line: in korvex-cli "Korvex: 3 accounts checked", in the window the tray
// message's title (fields {count}, {lines}) and what follows its fifth line when more were cut ({count}).
inline constexpr std::string_view kSummaryHeadingEnglish = "Korvex: {accounts} checked";
inline constexpr std::string_view kSummaryHeadingRussian = "Korvex: проверено {count}, требует внимания: {lines}";
inline constexpr std::string_view kSummaryMoreRussian = " … (ещё {count})";

// In the order the summary's lines come (what needs acting on first).
extern const std::vector<SummaryCategoryTexts> kSummaryCategories;
const SummaryCategoryTexts& summaryCategory(SummaryCategory category);

// What became of one row, as the fronts tell it; a refused certificate is a failed transfer of its own
// kind, and a row passed over is told apart by whether it has a plan code.
enum class RowOutcome {
    PageRead,
    NotFound,            // {marker}
    ErrorMarker,         // {marker} {error}
    TransferFailed,      // {error}
    CertificateRefused,  // {error}
    AddressNotSet,
    NoPlanCode,
    UnknownPlanCode,     // {plan}
    Stopped,
};

struct RowOutcomeTexts {
    RowOutcome outcome;
    std::string_view english;        // korvex-cli's line after the row's name; "": nothing said
    std::string_view englishDetail;  // added to `english` when there is an error text
    std::string_view russian;        // the window's note on the row; "": the note is cleared
    std::string_view russianCount;   // the caption's word for how many rows ended so; "": not counted
};

extern const std::vector<RowOutcomeTexts> kRowOutcomes;
const RowOutcomeTexts& rowOutcomeTexts(RowOutcome outcome);

// The row's outcome as the fronts tell it (PassedOver gives UnknownPlanCode: the caller that knows the
// cell tells NoPlanCode apart).
RowOutcome rowOutcomeOf(const RowCheck& check);

using TextFields = std::vector<std::pair<std::string_view, std::string>>;
// `pattern` with each "{name}" of `fields` replaced by its value; a field not given stays as written.
std::string fillText(std::string_view pattern, const TextFields& fields);

// `texts.english` filled, with `texts.englishDetail` after it when the "error" field is not empty.
template <typename Texts>
std::string englishText(const Texts& texts, const TextFields& fields);

// "1 account", "2 accounts": the {accounts} field of the English lines.
std::string accountsText(std::size_t count);

}  // namespace korvex
