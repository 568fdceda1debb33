#include "app/update_news.h"

#include <QMessageBox>

#include "app/tform1.h"
#include "platform/notice_language.h"
#include "update/install/handover.h"
#include "update/updater/previous_version.h"

namespace korvex {

void showUpdateNewsOnce(QWidget* parent) {
    const std::string news =
        update::releaseNews(update::runningProgramFolder(), NoticeLanguage::Russian, /*once=*/true);
    if (news.empty()) return;
    QMessageBox box(QMessageBox::Information, QString::fromLatin1(kApplicationTitle),
                    QString::fromStdString(news), QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace korvex
