// Stands in for a refresh run in the crash-consistency tests: the checks of a run of COUNT
// accounts go into the history beside SETTINGS exactly as the window and korvex-cli keep them.
//   korvex_history_writer SETTINGS COUNT
// Exit status 0 when they were kept; 1, with the run's message on standard error, when not.
#include <chrono>
#include <iostream>
#include <string>

#include "run/run_history.h"

int main(int argc, char** argv) {
    using namespace korvex;
    if (argc != 3) {
        std::cerr << "usage: korvex_history_writer SETTINGS COUNT\n";
        return 2;
    }
    const int count = std::stoi(argv[2]);
    AccountBook book;
    book.setCount(count);
    for (int row = 0; row < count; ++row) {
        book.client.setRow(row, {"login" + std::to_string(row), "secret", "SG", ""});
        book.Stat.setCell(kBalance, row, std::to_string(100 + row) + ",50");
    }
    RunHistory run([] { return std::chrono::system_clock::time_point(std::chrono::seconds(1'796'634'300)); });
    for (int row = 0; row < count; ++row) {
        RowCheck check;
        check.row = row;
        check.outcome = CheckOutcome::PageRead;
        run.add(book, check);
    }
    const std::string message = run.save(argv[1]);
    if (message.empty()) return 0;
    std::cerr << message << '\n';
    return 1;
}
