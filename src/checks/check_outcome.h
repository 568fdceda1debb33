#pragma once
// What became of one row in one check. The check routines report it, the refresh run collects it,
// and every reader takes it from here: the window (row tints, the caption after a run), korvex-cli
// (messages, exit status), the run summary and the balance history. Nobody infers an outcome by
// comparing cells.
#include <string>
#include <vector>

namespace korvex {

enum class CheckOutcome {
    PassedOver,      // no routine owns the row's plan code (an empty row too): nothing was requested
    PageRead,        // a page arrived and every pattern step with the marker rule found its value
    NotFound,        // a page arrived, and at least one such step wrote the not-found marker
    ErrorMarker,     // the check failed after its request was set up: the error marker is in the row
    TransferFailed,  // no page: connection, TLS, time-out, HTTP layer; resultCode and errorText say why
    Stopped,         // the transfer was ended on request ("СТОП", Ctrl+C, a signal, a time limit)
    AddressNotSet,   // the portal's address is still the build's placeholder: nothing was requested
};

struct RowCheck {
    int row = -1;
    CheckOutcome outcome = CheckOutcome::PassedOver;
    std::string profile;             // ProviderProfile::name of the profile that ran; "" when passed over
    std::string portal;              // the portal's base address (scheme, host and port) it asked
    int resultCode = 0;              // libcurl's result code of the balance request
    std::string errorText;           // TransferFailed, Stopped, ErrorMarker: what went wrong, in ASCII/UTF-8
    std::vector<int> missedColumns;  // NotFound: balance columns whose marker step wrote the marker
};

}  // namespace korvex
