// The settings tab's "Запускать при входе в систему" (beyond the window's design, in the free column
// under the refresh settings): the desktop session's autostart entry, which platform/autostart.h
// writes, reads and removes; the box only shows it.
#include <QCheckBox>
#include <QLabel>
#include <QSignalBlocker>

#include "app/tform1.h"
#include "platform/autostart.h"
#include "platform/paths.h"

namespace korvex {

void TForm1::buildAutostartControls() {
    AutostartCheckBox = new QCheckBox(QStringLiteral("Запускать при входе\nв систему"), tab2);
    AutostartCheckBox->setObjectName(QStringLiteral("AutostartCheckBox"));
    AutostartCheckBox->setGeometry(645, 280, 161, 36);
    AutostartNote = new QLabel(tab2);
    AutostartNote->setObjectName(QStringLiteral("AutostartNote"));
    AutostartNote->setGeometry(645, 318, 161, 40);
    AutostartNote->setWordWrap(true);
    AutostartNote->setText(QStringLiteral("Файл автозапуска оставлен как есть (подробнее в подсказке)"));
    const std::string entryPath = autostartEntryPath(userConfigHome());
    AutostartCheckBox->setEnabled(!entryPath.empty());
    connect(AutostartCheckBox, &QCheckBox::clicked, this, &TForm1::AutostartCheckBoxClick);
    showAutostart(readAutostart(entryPath, executablePath()));
}

void TForm1::showAutostart(const AutostartEntry& entry) {
    {
        const QSignalBlocker blocker(AutostartCheckBox);
        AutostartCheckBox->setChecked(entry.state == AutostartState::On);
    }
    const QString notice = QString::fromStdString(autostartNotice(entry));
    AutostartNote->setVisible(!notice.isEmpty());
    AutostartNote->setToolTip(notice);
    AutostartCheckBox->setToolTip(
        notice.isEmpty() ? QStringLiteral("Korvex запускается при входе в систему свёрнутой в область "
                                          "уведомлений (файл %1)")
                               .arg(QString::fromStdString(entry.path))
                         : notice);
}

void TForm1::AutostartCheckBoxClick(bool checked) {
    const std::string entryPath = autostartEntryPath(userConfigHome());
    const Expected<AutostartEntry> entry = setAutostart(entryPath, executablePath(), checked);
    if (!entry) showError(QString::fromStdString(entry.error().message));
    showAutostart(entry ? *entry : readAutostart(entryPath, executablePath()));
}

}  // namespace korvex
