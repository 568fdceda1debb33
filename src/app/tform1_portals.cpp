// "Порталы…": the button on the settings tab, the item of the balance menu, and what the window takes
// from the dialog.
#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include "app/portals_dialog.h"
#include "app/tform1.h"

namespace korvex {

void TForm1::buildPortalsControls() {
    PortalsButton = new QPushButton(QStringLiteral("Порталы…"), tab2);
    PortalsButton->setObjectName(QStringLiteral("PortalsButton"));
    PortalsButton->setGeometry(645, 408, 150, 28);
    PortalsButton->setToolTip(QStringLiteral("Адреса порталов операторов: какие используются, откуда они, "
                                             "и проверка адреса без логина и пароля"));
    connect(PortalsButton, &QPushButton::clicked, this, &TForm1::PortalsItemClick);
    // After the refresh of the row, before what its account's history shows.
    PortalsItem = new QAction(QStringLiteral("Порталы…"), PopupMenu2);
    PortalsItem->setObjectName(QStringLiteral("PortalsItem"));
    PopupMenu2->insertAction(BalanceHistoryItem, PortalsItem);
    connect(PortalsItem, &QAction::triggered, this, &TForm1::PortalsItemClick);
}

void TForm1::makeChecks() {
    m_checks = std::make_unique<BalanceChecks>(m_book, Curl1, Memo1, m_env.addresses,
                                               [this] { return proxyForCurl1(); }, *m_env.clock);
}

void TForm1::PortalsItemClick() {
    // A run holds the checks and their addresses: they change once it is over.
    if (m_running) {
        QMessageBox::information(this, QString::fromLatin1(kApplicationTitle),
                                 QStringLiteral("Адреса порталов можно изменить, когда закончится проверка."));
        return;
    }
    PortalsDialog dialog({FileName, &m_book, &m_pins, m_lastRun.rows, proxySettings(), m_env.addresses, {}}, this);
    if (m_env.portalsDialog)
        m_env.portalsDialog(dialog);
    else
        dialog.exec();
    // A run cannot have begun under the dialog and still be going: it ran inside the dialog's loop.
    if (!dialog.reloaded() || m_running) return;
    m_env.addresses = dialog.reloaded()->addresses;
    makeChecks();
}

}  // namespace korvex
