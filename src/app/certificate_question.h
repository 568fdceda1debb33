#pragma once
// The one question after a run about the portals whose certificate was not the one pinned: each
// portal with its operator, its address and both keys, ticked by default. "Доверять" (accept) pins
// the new keys of the ticked portals; "Не доверять" (reject) leaves every pin as it was for now.
#include <QDialog>
#include <QString>
#include <vector>

class QCheckBox;
class QPushButton;

namespace korvex {

struct ChangedCertificate {
    QString operatorName;  // "" when no profile of this build goes there
    QString origin;        // https://host:port
    QString pinned;
    QString presented;
};

class CertificateQuestion : public QDialog {
    Q_OBJECT
public:
    explicit CertificateQuestion(std::vector<ChangedCertificate> portals, QWidget* parent = nullptr);

    const std::vector<ChangedCertificate>& portals() const { return m_portals; }
    // One box per portal, in the order given.
    QCheckBox* portalBox(int index) const { return m_boxes.at(static_cast<std::size_t>(index)); }
    QPushButton* trustButton() const { return m_trust; }
    QPushButton* refuseButton() const { return m_refuse; }
    // Whether portal `index` is ticked now.
    bool ticked(int index) const;

private:
    std::vector<ChangedCertificate> m_portals;
    std::vector<QCheckBox*> m_boxes;
    QPushButton* m_trust = nullptr;
    QPushButton* m_refuse = nullptr;
};

}  // namespace korvex
