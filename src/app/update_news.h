#pragma once
// What is new: the first start after an update or an undo says once which version runs now, with
// the info file's message of that version (update/updater/previous_version.h).
class QWidget;

namespace korvex {

// A box with the news when there is any not shown yet; nothing otherwise.
void showUpdateNewsOnce(QWidget* parent = nullptr);

}  // namespace korvex
