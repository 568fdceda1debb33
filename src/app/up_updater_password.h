#pragma once
// The password window: a server wants a user name and password for an update file. One per process;
// a request made while it is open is answered Cancel.
#include <optional>

#include "app/up_small_form.h"
#include "update/texts/user_interface.h"

class QLineEdit;

namespace korvex {

class TupUpdaterPasswordForm : public TupUpdaterSmallForm {
    Q_OBJECT
public:
    // Shows the window modally; the typed user name and password on OK, nothing on Cancel, Escape
    // or the close box.
    static std::optional<UpCredentials> ask(const UpPasswordQuestion& question, QWidget* parent = nullptr);
    static TupUpdaterPasswordForm* instance();

    QLabel* UsernameLab = nullptr;
    QLineEdit* UsernameEdit = nullptr;
    QLabel* PasswordLab = nullptr;
    QLineEdit* PasswordEdit = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

private:
    explicit TupUpdaterPasswordForm(QWidget* parent);
};

}  // namespace korvex
