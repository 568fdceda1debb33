#include "app/up_dialog_common.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

static void initKorvexUpdateResources() {
    Q_INIT_RESOURCE(korvex);
}

namespace korvex {

std::string upUserDecimalSeparator() {
    return QLocale::system().decimalPoint().toStdString();
}

QFont upDialogFont() {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

QPixmap upSmallPicture() {
    initKorvexUpdateResources();
    const QPixmap icon(QStringLiteral(":/korvex.png"));
    return icon.isNull() ? icon : icon.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

void upCentreOnScreen(QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

bool upShowBox(QWidget* parent, const UpBoxContent& content) {
    QMessageBox::Icon icon = QMessageBox::Critical;
    switch (content.icon) {
        case UpBoxIcon::Error:
            icon = QMessageBox::Critical;
            break;
        case UpBoxIcon::Warning:
            icon = QMessageBox::Warning;
            break;
        case UpBoxIcon::Information:
            icon = QMessageBox::Information;
            break;
        case UpBoxIcon::Question:
            icon = QMessageBox::Question;
            break;
    }
    QMessageBox box(icon, upQ(content.caption), upQ(content.text),
                    content.yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("UpdateMessageBox"));
    box.setTextFormat(Qt::PlainText);  // host and file names come from the network
    if (content.yesNo) {
        box.button(QMessageBox::Yes)->setText(upQ(UpText::Yes));
        box.button(QMessageBox::No)->setText(upQ(UpText::No));
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.button(QMessageBox::Ok)->setText(upQ(UpText::OK));
    }
    if (content.systemModal) {
        // Answered before anything else of the program, and above other programs' windows.
        box.setWindowModality(Qt::ApplicationModal);
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    }
    return box.exec() == QMessageBox::Yes && content.yesNo;
}

}  // namespace korvex
