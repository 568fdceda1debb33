#pragma once
// The password window: a server wants a user name and password for an update file. One per process;
// a request made while it is open is answered Cancel.
#include <QDialog>
#include <optional>

#include "up_user_interface.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace korvex {

class TupUpdaterPasswordForm : public QDialog {
    Q_OBJECT
public:
    // Shows the window modally; the typed user name and password on OK, nothing on Cancel, Escape
    // or the close box.
    static std::optional<UpCredentials> ask(const UpPasswordQuestion& question, QWidget* parent = nullptr);
    static TupUpdaterPasswordForm* instance();

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QWidget* Panel1 = nullptr;
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
