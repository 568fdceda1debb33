#include "book/account_book.h"

#include <algorithm>
#include <charconv>

#include "book/grid_func.h"

namespace korvex {

int clampAccountCount(long long count) {
    if (count < kMinAccounts) return kMinAccounts;
    if (count > kMaxAccounts) return kMaxAccounts;
    return static_cast<int>(count);
}

int accountCountFromText(std::string_view text) {
    // Leading and trailing blanks are tolerated, as the spin field's own conversion does.
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    long long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec == std::errc::invalid_argument || end != text.data() + text.size()) return 1;
    if (ec == std::errc::result_out_of_range) return text.front() == '-' ? kMinAccounts : kMaxAccounts;
    return clampAccountCount(value);
}

void AccountBook::setCount(int count) {
    clients = clampAccountCount(count);
    client.setRowCount(clients);
    Stat.setRowCount(clients);
}

void AccountBook::syncDerivedColumns() {
    client.setRowCount(clients);
    Stat.setRowCount(clients);
    for (int r = 0; r < clients; ++r) {
        Stat.setCell(kStatLogin, r, client.cell(kLogin, r));
        Stat.setCell(kStatHolder, r, client.cell(kHolder, r));
    }
}

void AccountBook::dropLastRow() {
    const int oldCount = clients;
    clients = clampAccountCount(clients - 1);
    if (clients == oldCount) return;
    droppedFirst = droppedEnd > droppedFirst ? std::min(droppedFirst, clients) : clients;
    droppedEnd = std::max(droppedEnd, oldCount);
}

bool AccountBook::insertAccount(int r) {
    if (clients >= kMaxAccounts || !insertRow(client, r)) return false;
    insertRow(Stat, r);
    clients = client.rowCount();
    return true;
}

bool AccountBook::deleteAccount(int r) {
    if (!deleteRow(client, r)) return false;
    deleteRow(Stat, r);
    while (clients > client.rowCount()) dropLastRow();
    clients = client.rowCount();
    return true;
}

bool AccountBook::moveAccountUp(int r) {
    if (r < 1) return false;
    moveRow(client, r, r - 1);
    moveRow(Stat, r, r - 1);
    return true;
}

bool AccountBook::moveAccountDown(int r) {
    if (r < 1) return false;
    moveRow(client, r, r + 1);
    moveRow(Stat, r, r + 1);
    return true;
}

void AccountBook::sortAccounts(int col) {
    sortRows(client, col, 1, client.rowCount() - 1, Stat);
}

}  // namespace korvex
