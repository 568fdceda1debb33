#pragma once
// The upgrade question: "a newer version was released", with the publisher's message, Yes or Later.
// Above every other window. One per process; a question asked while it is open answers Later.
#include "app/up_small_form.h"
#include "update/texts/user_interface.h"

namespace korvex {

class TupUpdaterUpgradeMessageForm : public TupUpdaterSmallForm {
    Q_OBJECT
public:
    // Shows the question modally; true only for Yes (Later, Escape and the close box are Later).
    static bool ask(const UpUpgradeQuestion& question, QWidget* parent = nullptr);
    static TupUpdaterUpgradeMessageForm* instance();

    QPushButton* YesBtn = nullptr;
    QPushButton* LaterBtn = nullptr;

private:
    explicit TupUpdaterUpgradeMessageForm(QWidget* parent);
};

}  // namespace korvex
