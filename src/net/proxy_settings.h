#pragma once
// The proxy setting of the settings tab: the check box "Использовать прокси" and the two edits,
// kept as typed. The port stays text until it is applied, so a bad port is reported when used.
#include <string>

namespace korvex {

struct ProxySettings {
    bool enabled = false;  // JvCheckBox1
    std::string address;   // JvEdit1, cp1251 as typed
    std::string port;      // JvEdit2, cp1251 as typed

    bool operator==(const ProxySettings&) const = default;
};

}  // namespace korvex
