#pragma once
// The one box at start that says what of Portals.ini is not used, and why, which portals it lets
// receive passwords in clear, and which portals the book needs that still have no address.
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "checks/portals_ini.h"

class QWidget;

namespace korvex {

// The box's text: a line of explanation, then every problem (UTF-8) on a line of its own; then a line
// for each portal in `clearText`.
QString portalsProblemsText(const std::vector<std::string>& problems, const std::vector<ClearTextPortal>& clearText = {});
// The portals (by profile name) whose address is the build's placeholder, and where it goes.
QString portalsWithoutAddressText(const std::vector<std::string>& portals);

// Shows the box (modal, over `parent`) when there is anything to say; nothing otherwise. With portals
// without their address and `openPortals`, the box has a button "Порталы…" that calls it.
void showPortalsProblems(QWidget* parent, const std::vector<std::string>& problems,
                         const std::vector<ClearTextPortal>& clearText = {},
                         const std::vector<std::string>& withoutAddress = {},
                         const std::function<void()>& openPortals = {});

}  // namespace korvex
