#include "settings/settings_file.h"
#include "korvex-cli/command_table.h"
#include "korvex-cli/commands/forecast_command.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <vector>

#include "book/account_book.h"
#include "checks/run_summary.h"
#include "history/balance_history.h"
#include "history/forecast.h"
#include "korvex-cli/balance_table.h"
#include "korvex-cli/csv_text.h"
#include "platform/codepage.h"

namespace korvex {

namespace {

constexpr const char* kPrefix = "korvex-cli: ";
constexpr const char* kCannotTell = "\xE2\x80\x94";  // "—"

// The number as a script reads it back: the shortest text that gives the same double.
std::string numberText(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

template <class T, class F>
std::string orEmpty(const std::optional<T>& value, F text, const std::string& none) {
    return value ? text(*value) : none;
}

void printTable(std::ostream& out, const std::vector<AccountForecast>& forecasts) {
    std::vector<std::vector<std::string>> lines;
    lines.push_back({"#", "login", "plan", "holder", "balance", "a day", "days left", "as of (UTC)"});
    for (const AccountForecast& f : forecasts) {
        const Spending& s = f.spending;
        lines.push_back({std::to_string(f.row + 1), terminalText(cp1251ToUtf8(f.login)),
                         terminalText(cp1251ToUtf8(f.plan)), terminalText(cp1251ToUtf8(f.holder)),
                         orEmpty(s.balance, amountText, ""), orEmpty(s.perDay, amountText, ""),
                         orEmpty(
                             s.daysLeft, [](int d) { return std::to_string(d); }, kCannotTell),
                         s.asOf});
    }
    printAlignedLines(out, lines);
}

void printCsv(std::ostream& out, const std::vector<AccountForecast>& forecasts) {
    out << csvLine({"login", "plan", "holder", "balance", "per_day", "days_left", "as_of"});
    for (const AccountForecast& f : forecasts) {
        const Spending& s = f.spending;
        out << csvLine({cp1251ToUtf8(f.login), cp1251ToUtf8(f.plan), cp1251ToUtf8(f.holder),
                        orEmpty(s.balance, numberText, ""), orEmpty(s.perDay, amountText, ""),
                        orEmpty(
                            s.daysLeft, [](int d) { return std::to_string(d); }, ""),
                        s.asOf});
    }
}

void printJson(std::ostream& out, const std::vector<AccountForecast>& forecasts) {
    out << "{\"accounts\":[";
    for (std::size_t i = 0; i < forecasts.size(); ++i) {
        const AccountForecast& f = forecasts[i];
        const Spending& s = f.spending;
        out << (i ? "," : "") << "{\"row\":" << f.row + 1
            << ",\"login\":" << jsonString(cp1251ToUtf8(f.login))
            << ",\"plan\":" << jsonString(cp1251ToUtf8(f.plan))
            << ",\"holder\":" << jsonString(cp1251ToUtf8(f.holder))
            << ",\"balance\":" << orEmpty(s.balance, amountText, "null")
            << ",\"perDay\":" << orEmpty(s.perDay, amountText, "null") << ",\"daysLeft\":"
            << orEmpty(
                   s.daysLeft, [](int d) { return std::to_string(d); }, "null")
            << ",\"asOf\":" << (s.asOf.empty() ? std::string("null") : jsonString(s.asOf)) << "}";
    }
    out << "]}\n";
}

}  // namespace

int forecastCommand(const CliContext& context, const ForecastOptions& options,
                    std::chrono::system_clock::time_point now) {
    AccountBook book;
    if (!loadAccountBook(context, book)) return kExitFailed;
    const std::string path = historyPathFor(context.settingsPath);
    std::vector<AccountForecast> forecasts;
    try {
        std::error_code ec;
        if (std::filesystem::exists(path, ec)) {
            forecasts = forecastAccounts(book, BalanceHistory::openForReading(path), now);
        } else {
            // Not made here: reading must not leave an empty history file behind.
            context.err << kPrefix << "no checks are kept yet (" << path
                        << " begins with the next refresh)\n";
            forecasts = forecastAccounts(book, std::span<const HistoryEntry>{}, now);
        }
    } catch (const HistoryError& e) {
        context.err << kPrefix << e.what() << '\n';
        return kExitFailed;
    }
    if (options.within)
        std::erase_if(forecasts,
                      [&](const AccountForecast& f) { return !fewDaysLeft(f.spending, *options.within); });

    switch (options.format) {
        case ForecastFormat::Table:
            if (!forecasts.empty())
                printTable(context.out, forecasts);
            else if (options.within)
                context.err << kPrefix << "no account has fewer than " << *options.within
                            << (*options.within == 1 ? " day" : " days") << " left\n";
            else
                context.err << kPrefix << "no account in " << context.settingsPath << " has a login\n";
            break;
        case ForecastFormat::Csv: {
            std::ostringstream text;
            printCsv(text, forecasts);
            writeCsv(context.out, text.str(), context.outIsTerminal);
            break;
        }
        case ForecastFormat::Json:
            printJson(context.out, forecasts);
            break;
    }
    context.out.flush();
    return context.out ? kExitOk : kExitFailed;
}

namespace {

constexpr CliOption kForecastOptions[] = {
    {.name = "--within",
     .argument = "DAYS",
     .kind = ArgKind::Number,
     .help = "only the accounts with fewer than DAYS days left",
     .set = [](CliInvocation& call, const std::string&, int days) { call.within = days; },
     .low = 1,
     .high = kMaxDaysLeft,
     .what = "a number of days"},
    {.name = "--csv",
     .help = "CSV (UTF-8) with the header line\nlogin,plan,holder,balance,per_day,days_left,as_of\n"
             "(days_left empty when it cannot be told)",
     .set = [](CliInvocation& call, const std::string&, int) { call.csv = true; }},
    {.name = "--json",
     .help = "a JSON object {\"accounts\":[...]} (null where nothing is told)",
     .set = [](CliInvocation& call, const std::string&, int) { call.json = true; }},
};

void forecastFinish(CliInvocation& call, const std::vector<std::string>& operands) {
    if (call.csv && call.json) throw CliUsageError("forecast writes CSV or JSON, not both", call.command);
    takesNoOperand(call, operands);
}

int runForecast(CliContext& context, const CliInvocation& call) {
    return forecastCommand(context, {call.within, call.json  ? ForecastFormat::Json
                                                  : call.csv ? ForecastFormat::Csv
                                                             : ForecastFormat::Table});
}

}  // namespace

const CliCommandRow kForecastRow{
    .command = CliCommand::Forecast,
    .name = "forecast",
    .summary = "list the accounts by the days their balance lasts",
    .description =
        "Lists every account by the days its balance lasts, fewest first: row, login, plan\n"
        "code, holder, balance, spend per day, days left and the time (UTC) of the reading\n"
        "the estimate starts from. The spend per day is the average fall of the balance over\n"
        "the last 60 days of History.sqlite, a rise (a top-up) left out; failed checks and\n"
        "values not found count for nothing. Days left is the balance over it, rounded down,\n"
        "0 when the balance is at or below 0; \"\xE2\x80\x94\" when the readings cover less than a week\n"
        "or nothing was spent. An account is a login and a plan code.\n",
    .options = kForecastOptions,
    .onlyReads = alwaysReads,
    .readsPortals = false,
    .finish = forecastFinish,
    .run = runForecast,
};

}  // namespace korvex
