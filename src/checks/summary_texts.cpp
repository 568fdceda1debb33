#include "checks/summary_texts.h"

#include <algorithm>

#include "checks/run_summary.h"

namespace korvex {

// The tables below are laid out for reading: one category or outcome a row, its words side by side.
// clang-format off

const std::vector<SummaryCategoryTexts> kSummaryCategories = {
    {SummaryCategory::ChangedPage, "changedPages",
     "changed page: {portal} ({address}): no account found its balance ({logins}); its patterns may need "
     "adapting: save its page and test a fix in Portals.ini with korvex-cli profiles test \"{portal}\" PAGE.html", "",
     "Изменилась страница портала {portal}: балансы не найдены"},
    {SummaryCategory::RefusedCertificate, "refusedCertificates",
     "certificate changed: {portal} ({address}), {accounts} ({logins}): refused, no password went to it", "",
     "Сертификат портала {portal} изменился (учётных записей: {count})"},
    {SummaryCategory::AddressNotSet, "addressesNotSet",
     "address not set: {portal} ({address}), {accounts} ({logins}): not asked; set its address in Portals.ini, "
     "or korvex-cli profiles set \"{portal}\" Address URL", "",
     "Адрес портала {portal} не задан (учётных записей: {count})"},
    {SummaryCategory::ValuesNotFound, "valuesNotFound",
     "values not found: row {row} ({login}): a wrong password, or the page has changed", "",
     "Значения не найдены: {login} — неверный пароль?"},
    {SummaryCategory::UnknownPlanCode, "unknownPlanCodes",
     "unknown plan code: row {row} ({login}): \"{plan}\" names no portal", "",
     "Код тарифа «{plan}» не знает ни один портал: {login}"},
    {SummaryCategory::LowBalance, "lowBalances",
     "low balance: row {row} ({login}): {balance}", "",
     "Низкий баланс: {login} ({balance})"},
    {SummaryCategory::FewDaysLeft, "fewDaysLeft",
     "days left: row {row} ({login}): {balance}, {daysText}", "",
     "Осталось дней: {days} — {login} ({balance})"},
    {SummaryCategory::FailedTransfer, "failedTransfers",
     "no answer: {portal} ({address}), {accounts} ({logins})", ": {error}",
     "Нет ответа от портала {portal} (учётных записей: {count})"},
    {SummaryCategory::FallenBalance, "fallenBalances",
     "balance fell: row {row} ({login}): {previous} -> {balance}", "",
     "Баланс уменьшился: {login} ({previous} → {balance})"},
};

// The English line follows the row's name ("row 3 (ivanov)"), so it begins with its separator.
const std::vector<RowOutcomeTexts> kRowOutcomes = {
    // outcome                       English line, and what follows it with an error text
    //                               the window's note on the row                          caption's word
    {RowOutcome::PageRead,           "", "",
                                     "",                                                    ""},
    {RowOutcome::NotFound,           ": the values were not found on the portal's page ({marker}): a wrong "
                                     "password, or the page has changed", "",
                                     "Значения не найдены — неверный пароль или страница портала изменилась?",
                                                                                            "не найдено"},
    {RowOutcome::ErrorMarker,        ": the check failed ({marker})", ": {error}",
                                     "Ошибка проверки: {error}",                            "ошибка"},
    {RowOutcome::TransferFailed,     ": no page from the portal", " ({error})",
                                     "Портал не ответил: {error}",                          "без ответа"},
    {RowOutcome::CertificateRefused, ": refused: {error}", "",
                                     "Сертификат портала изменился: запросы к нему не отправлялись",
                                                                                            "сертификат изменился"},
    {RowOutcome::AddressNotSet,      "", "",  // said once for the run, by portal
                                     "Адрес портала не задан: запросы к нему не отправлялись",
                                                                                            "адрес портала не задан"},
    {RowOutcome::NoPlanCode,         " has no plan code; passed over", "",
                                     "",                                                    ""},
    {RowOutcome::UnknownPlanCode,    ": the plan code {plan} names no portal; passed over", "",
                                     "",                                                    ""},
    {RowOutcome::Stopped,            "", "",
                                     "",                                                    ""},
};

// clang-format on

const SummaryCategoryTexts& summaryCategory(SummaryCategory category) {
    return *std::ranges::find(kSummaryCategories, category, &SummaryCategoryTexts::category);
}

const RowOutcomeTexts& rowOutcomeTexts(RowOutcome outcome) {
    return *std::ranges::find(kRowOutcomes, outcome, &RowOutcomeTexts::outcome);
}

RowOutcome rowOutcomeOf(const RowCheck& check) {
    switch (check.outcome) {
        case CheckOutcome::PassedOver:
            return RowOutcome::UnknownPlanCode;
        case CheckOutcome::PageRead:
            return RowOutcome::PageRead;
        case CheckOutcome::NotFound:
            return RowOutcome::NotFound;
        case CheckOutcome::ErrorMarker:
            return RowOutcome::ErrorMarker;
        case CheckOutcome::TransferFailed:
            return certificateRefused(check) ? RowOutcome::CertificateRefused : RowOutcome::TransferFailed;
        case CheckOutcome::Stopped:
            return RowOutcome::Stopped;
        case CheckOutcome::AddressNotSet:
            return RowOutcome::AddressNotSet;
    }
    return RowOutcome::ErrorMarker;
}

std::string fillText(std::string_view pattern, const TextFields& fields) {
    std::string text;
    text.reserve(pattern.size());
    for (std::size_t at = 0; at < pattern.size();) {
        const std::size_t open = pattern.find('{', at);
        const std::size_t close = open == std::string_view::npos ? open : pattern.find('}', open);
        if (close == std::string_view::npos) {
            text.append(pattern.substr(at));
            break;
        }
        text.append(pattern.substr(at, open - at));
        const std::string_view name = pattern.substr(open + 1, close - open - 1);
        const auto field = std::ranges::find(fields, name, &TextFields::value_type::first);
        // A value is put in as it is: a brace in a login is not read as a field.
        text.append(field != fields.end() ? std::string_view(field->second) : pattern.substr(open, close - open + 1));
        at = close + 1;
    }
    return text;
}

template <typename Texts>
std::string englishText(const Texts& texts, const TextFields& fields) {
    std::string text = fillText(texts.english, fields);
    const auto error = std::ranges::find(fields, std::string_view("error"), &TextFields::value_type::first);
    if (error != fields.end() && !error->second.empty()) text += fillText(texts.englishDetail, fields);
    return text;
}
template std::string englishText(const SummaryCategoryTexts&, const TextFields&);
template std::string englishText(const RowOutcomeTexts&, const TextFields&);

std::string accountsText(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " account" : " accounts");
}

}  // namespace korvex
