// "Вернуть предыдущую версию" on the "О программе" tab: the window's side of going back to the
// version the last update replaced. What is kept, the checks and the hand-over are the core's
// (update/updater/previous_version.h).
#include <QMessageBox>
#include <QPushButton>

#include "app/tform1.h"
#include "update/updater/previous_version.h"

namespace korvex {

void TForm1::buildUndoControls() {
    // No check offers the version the user went back from until a newer one appears.
    upUpdater1->UndoneVersion = update::readUndoneVersion(FileName);
    ButtonUndo = new QPushButton(tab3);
    ButtonUndo->setObjectName(QStringLiteral("ButtonUndo"));
    ButtonUndo->setGeometry(20, 276, 480, 28);
    const auto kept = update::keptPreviousVersion(upUpdater1->Folders);
    if (kept) ButtonUndo->setText(QString::fromStdString(update::undoButtonText(*kept)));
    ButtonUndo->setVisible(kept.has_value());
    connect(ButtonUndo, &QPushButton::clicked, this, &TForm1::ButtonUndoClick);
}

void TForm1::ButtonUndoClick() {
    const QString title = QString::fromLatin1(kApplicationTitle);
    const QString question =
        QStringLiteral("Korvex закроется, вернёт предыдущую версию и запустится снова. Продолжить?");
    const bool yes = m_env.confirm
                         ? m_env.confirm(title, question)
                         : QMessageBox::question(this, title, question, QMessageBox::Yes | QMessageBox::No,
                                                 QMessageBox::No) == QMessageBox::Yes;
    if (!yes) return;
    const std::string error = update::startUndo(upUpdater1->Folders, upUpdater1->RestartParams(), FileName);
    if (!error.empty()) {
        showError(QString::fromStdString(error));
        return;
    }
    // The helper waits for the program to end, as after an update.
    N1Click();
}

}  // namespace korvex
