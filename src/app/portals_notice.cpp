#include "app/portals_notice.h"

#include <QMessageBox>

#include "app/tform1.h"

namespace korvex {

QString portalsProblemsText(const std::vector<std::string>& problems, const std::vector<ClearTextPortal>& clearText) {
    QString text;
    if (!problems.empty()) {
        text = QStringLiteral(
            "Portals.ini используется не полностью: разделы с ошибками не применены, их порталы работают "
            "со встроенными адресами и шаблонами.\n");
        for (const std::string& problem : problems)
            text += QStringLiteral("\n") + QString::fromStdString(problem);
    }
    for (const ClearTextPortal& portal : clearText) {
        if (!text.isEmpty()) text += QStringLiteral("\n\n");
        text += QStringLiteral("Логины и пароли %1 уходят на %2 открытым текстом: Portals.ini разрешает это "
                               "(AllowPlainHttp = yes).")
                    .arg(QString::fromStdString(portal.profiles), QString::fromStdString(portal.address));
    }
    return text;
}

void showPortalsProblems(QWidget* parent, const std::vector<std::string>& problems,
                         const std::vector<ClearTextPortal>& clearText) {
    if (problems.empty() && clearText.empty()) return;
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kApplicationTitle),
                    portalsProblemsText(problems, clearText), QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace korvex
