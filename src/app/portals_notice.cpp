#include "app/portals_notice.h"

#include <QMessageBox>
#include <QPushButton>

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

QString portalsWithoutAddressText(const std::vector<std::string>& portals) {
    QStringList names;
    for (const std::string& name : portals) names << QString::fromStdString(name);
    return QStringLiteral(
               "Адрес портала не задан: %1.\nУчётные записи этих порталов не проверяются, пока адрес не "
               "задан в окне «Порталы…» (вкладка «Настройки»), в Portals.ini рядом с Settings.ini (образец "
               "файла: korvex-cli profiles template) или командой korvex-cli profiles set \"ИМЯ\" Address АДРЕС.")
        .arg(names.join(QStringLiteral(", ")));
}

void showPortalsProblems(QWidget* parent, const std::vector<std::string>& problems,
                         const std::vector<ClearTextPortal>& clearText, const std::vector<std::string>& withoutAddress,
                         const std::function<void()>& openPortals) {
    if (problems.empty() && clearText.empty() && withoutAddress.empty()) return;
    QStringList parts;
    if (!withoutAddress.empty()) parts << portalsWithoutAddressText(withoutAddress);
    if (!problems.empty() || !clearText.empty()) parts << portalsProblemsText(problems, clearText);
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kApplicationTitle), parts.join(QStringLiteral("\n\n")),
                    QMessageBox::Ok, parent);
    QPushButton* portals = nullptr;
    if (!withoutAddress.empty() && openPortals)
        portals = box.addButton(QStringLiteral("Порталы…"), QMessageBox::ActionRole);
    box.exec();
    if (portals && box.clickedButton() == portals) openPortals();
}

}  // namespace korvex
