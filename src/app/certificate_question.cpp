#include "app/certificate_question.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace korvex {

CertificateQuestion::CertificateQuestion(std::vector<ChangedCertificate> portals, QWidget* parent)
    : QDialog(parent), m_portals(std::move(portals)) {
    const bool many = m_portals.size() > 1;
    setWindowTitle(many ? QStringLiteral("Сертификаты порталов изменились")
                        : QStringLiteral("Сертификат портала изменился"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        (many ? QStringLiteral("Эти порталы показали другой сертификат, чем прежде, и ничего не получили.")
              : QStringLiteral("Портал показал другой сертификат, чем прежде, и ничего не получил.")) +
            QStringLiteral(
                "\n\nЕсли портал сам сменил сертификат, ему можно доверять. Иначе кто-то на пути к "
                "порталу подменяет его, чтобы получить пароли.\n\n") +
            (many ? QStringLiteral("Доверять новым сертификатам отмеченных порталов?")
                  : QStringLiteral("Доверять новому сертификату?")),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    // Hundreds of accounts may sit behind a handful of portals; the list scrolls rather than grow
    // past the screen.
    auto* list = new QWidget;
    auto* listLayout = new QVBoxLayout(list);
    for (const ChangedCertificate& portal : m_portals) {
        const QString name = portal.operatorName.isEmpty()
                                 ? portal.origin
                                 : portal.operatorName + QStringLiteral(" — ") + portal.origin;
        auto* box = new QCheckBox(
            name + QStringLiteral("\nПрежний ключ: %1\nНовый ключ: %2").arg(portal.pinned, portal.presented),
            list);
        box->setChecked(true);
        listLayout->addWidget(box);
        m_boxes.push_back(box);
    }
    listLayout->addStretch();
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(list);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    layout->addWidget(scroll);

    auto* buttons = new QDialogButtonBox(this);
    m_trust = buttons->addButton(QStringLiteral("Доверять"), QDialogButtonBox::AcceptRole);
    m_refuse = buttons->addButton(QStringLiteral("Не доверять"), QDialogButtonBox::RejectRole);
    // Trust is a decision to make, not a key to lean on.
    m_refuse->setDefault(true);
    m_refuse->setFocus();
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Nothing ticked: nothing to trust.
    for (QCheckBox* box : m_boxes)
        connect(box, &QCheckBox::toggled, this, [this] {
            bool any = false;
            for (QCheckBox* b : m_boxes) any = any || b->isChecked();
            m_trust->setEnabled(any);
        });
    layout->addWidget(buttons);
}

bool CertificateQuestion::ticked(int index) const {
    return m_boxes.at(static_cast<std::size_t>(index))->isChecked();
}

}  // namespace korvex
