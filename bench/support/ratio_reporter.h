#pragma once
// A console reporter that also keeps every repetition's wall time, so that a benchmark program can
// print the ratio of two of its benchmarks at the end: "a / b: 0.98 (medians), 0.84 (fastest runs)".
// Medians and fastest runs both, because on a shared machine the fastest run is the least disturbed
// one and the median the most typical.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace korvex::bench {

// The fastest repetition is the least disturbed by whatever else the machine runs.
inline double fastest(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    // `numerator` and `denominator` are benchmark function names; `label` starts the printed line.
    RatioReporter(std::string numerator, std::string denominator, std::string label)
        : m_numerator(std::move(numerator)),
          m_denominator(std::move(denominator)),
          m_label(std::move(label)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                m_seconds[run.run_name.function_name].push_back(run.GetAdjustedRealTime());
    }

    // Prints the ratio line; nothing when either benchmark did not run.
    void printRatio() {
        const std::vector<double>& a = m_seconds[m_numerator];
        const std::vector<double>& b = m_seconds[m_denominator];
        if (a.empty() || b.empty()) return;
        std::printf("%s: %.3f (medians), %.3f (fastest runs)\n", m_label.c_str(), median(a) / median(b),
                    fastest(a) / fastest(b));
    }

private:
    std::string m_numerator;
    std::string m_denominator;
    std::string m_label;
    std::map<std::string, std::vector<double>> m_seconds;
};

}  // namespace korvex::bench
