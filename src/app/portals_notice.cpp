#include "app/portals_notice.h"

#include <QMessageBox>

#include "app/tform1.h"

namespace korvex {

QString portalsProblemsText(const std::vector<std::string>& problems) {
    QString text = QStringLiteral(
        "Portals.ini используется не полностью: разделы с ошибками не применены, их порталы работают "
        "со встроенными адресами и шаблонами.\n");
    for (const std::string& problem : problems)
        text += QStringLiteral("\n") + QString::fromStdString(problem);
    return text;
}

void showPortalsProblems(QWidget* parent, const std::vector<std::string>& problems) {
    if (problems.empty()) return;
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kApplicationTitle),
                    portalsProblemsText(problems), QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace korvex
