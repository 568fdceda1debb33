#pragma once
// The one box at start that says what of Portals.ini is not used, and why.
#include <QString>
#include <string>
#include <vector>

class QWidget;

namespace korvex {

// The box's text: a line of explanation, then every problem (UTF-8) on a line of its own.
QString portalsProblemsText(const std::vector<std::string>& problems);

// Shows the box (modal, over `parent`) when there are problems; nothing otherwise.
void showPortalsProblems(QWidget* parent, const std::vector<std::string>& problems);

}  // namespace korvex
