#pragma once
// korvex-cli forecast: every account by the days its balance lasts, from the balance history
// (history/forecast.h has the method), as a table, CSV or JSON.
#include <chrono>
#include <optional>

#include "korvex-cli/cli_commands.h"

namespace korvex {

enum class ForecastFormat { Table, Csv, Json };

struct ForecastOptions {
    std::optional<int> within{};  // only the accounts with fewer days left than this
    ForecastFormat format = ForecastFormat::Table;
};

// Lists the accounts of the settings file, fewest days left first, as of `now`. A missing history
// file is no error: no account can be told yet. The files are only read.
int forecastCommand(const CliContext& context, const ForecastOptions& options,
                    std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

}  // namespace korvex
