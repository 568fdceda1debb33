#pragma once
// The one box at start that says what of Portals.ini is not used, and why, and which portals it lets
// receive passwords in clear.
#include <QString>
#include <string>
#include <vector>

#include "checks/portals_ini.h"

class QWidget;

namespace korvex {

// The box's text: a line of explanation, then every problem (UTF-8) on a line of its own; then a line
// for each portal in `clearText`.
QString portalsProblemsText(const std::vector<std::string>& problems, const std::vector<ClearTextPortal>& clearText = {});

// Shows the box (modal, over `parent`) when there is anything to say; nothing otherwise.
void showPortalsProblems(QWidget* parent, const std::vector<std::string>& problems,
                         const std::vector<ClearTextPortal>& clearText = {});

}  // namespace korvex
