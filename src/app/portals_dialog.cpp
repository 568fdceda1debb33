#include "app/portals_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "checks/portal_lines.h"
#include "checks/portals_ini_writer.h"
#include "checks/profile_edits.h"

namespace korvex {

namespace {

enum Column { kOperator, kCodes, kAddress, kSource, kRows, kKey, kLastRun, kColumns };

const QStringList kHeadings = {QStringLiteral("Оператор"), QStringLiteral("Коды тарифов"),
                               QStringLiteral("Адрес"),    QStringLiteral("Откуда"),
                               QStringLiteral("Строк"),    QStringLiteral("Ключ"),
                               QStringLiteral("Последняя проверка")};

QString utf8(const std::string& text) {
    return QString::fromStdString(text);
}

QString sourceText(const PortalLine& line) {
    switch (line.source) {
        case AddressSource::UserFile: return QStringLiteral("ваш Portals.ini");
        case AddressSource::SystemFile: return QStringLiteral("системный Portals.ini");
        case AddressSource::BuiltIn: break;
    }
    return QStringLiteral("встроенный");
}

QString lastRunText(const PortalLine& line) {
    static const std::pair<CheckOutcome, QString> kNames[] = {
        {CheckOutcome::PageRead, QStringLiteral("прочитано")},
        {CheckOutcome::NotFound, QStringLiteral("не найдено")},
        {CheckOutcome::ErrorMarker, QStringLiteral("ошибка")},
        {CheckOutcome::TransferFailed, QStringLiteral("без ответа")},
        {CheckOutcome::AddressNotSet, QStringLiteral("адрес не задан")},
        {CheckOutcome::Stopped, QStringLiteral("остановлено")},
    };
    QStringList parts;
    for (const auto& [outcome, name] : kNames)
        if (const auto found = line.lastRun.find(outcome); found != line.lastRun.end())
            parts << QStringLiteral("%1: %2").arg(name).arg(found->second);
    return parts.isEmpty() ? QStringLiteral("—") : parts.join(QStringLiteral(", "));
}

QString keyText(const std::string& pin) {
    return pin.empty() ? QStringLiteral("—") : utf8(shortPin(pin)) + QStringLiteral("…");
}

QTableWidgetItem* cell(const QString& text, const QString& tip = {}) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (!tip.isEmpty()) item->setToolTip(tip);
    return item;
}

QString keyFinding(const PortalProbe& probe, const std::string& pinned) {
    switch (probe.key) {
        case ProbeKey::New:
            return QStringLiteral("Ключ сертификата %1… новый: первая проверка баланса закрепит его.")
                .arg(keyText(probe.presentedPin).chopped(1));
        case ProbeKey::Pinned:
            return QStringLiteral("Ключ сертификата %1… — закреплённый.").arg(keyText(probe.presentedPin).chopped(1));
        case ProbeKey::Other:
            return QStringLiteral("Ключ сертификата %1… не тот, что закреплён (%2): проверка баланса будет "
                                  "отклонена, пока вы не доверитесь новому ключу.")
                .arg(keyText(probe.presentedPin).chopped(1), keyText(pinned));
        case ProbeKey::None: break;
    }
    return QStringLiteral("Соединение без шифрования (http).");
}

QString pageFinding(const PortalProbe& probe, const QString& profileName) {
    switch (probe.page) {
        case ProbePage::AccountPage:
            return QStringLiteral("Шаблон %1 находит своё значение на странице.").arg(profileName);
        case ProbePage::LoginPage:
            return QStringLiteral("Страница входа %1 узнана.").arg(profileName);
        case ProbePage::Unrecognised:
            return QStringLiteral("Страница не похожа на портал %1: ни страницы входа, ни баланса.").arg(profileName);
        case ProbePage::None: break;
    }
    return {};
}

}  // namespace

QString portalProbeText(const PortalProbe& probe, const QString& profileName, const std::string& pinned) {
    if (probe.stopped) return QStringLiteral("Проверка остановлена.");
    if (probe.badAddress)
        return QStringLiteral("Это не адрес портала: нужны http:// или https://, имя или IP-адрес и, если "
                              "надо, порт, без пути после них.");
    if (probe.status == 0) return QStringLiteral("Портал не ответил: %1.").arg(utf8(probe.error));
    QStringList lines = {QStringLiteral("Ответ HTTP %1.").arg(probe.status), keyFinding(probe, pinned),
                         pageFinding(probe, profileName)};
    if (probe.cut) lines << QStringLiteral("Страница прочитана не вся: она слишком велика.");
    lines << QStringLiteral("Логин и пароль не отправлялись.");
    return lines.join(QLatin1Char('\n'));
}

PortalsDialog::PortalsDialog(PortalsDialogContext context, QWidget* parent)
    : QDialog(parent), m_context(std::move(context)) {
    setObjectName(QStringLiteral("PortalsDialog"));
    setWindowTitle(QStringLiteral("Порталы"));
    auto* layout = new QVBoxLayout(this);
    table = new QTableWidget(0, kColumns, this);
    table->setObjectName(QStringLiteral("PortalsTable"));
    table->setHorizontalHeaderLabels(kHeadings);
    table->verticalHeader()->hide();
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->horizontalHeader()->setStretchLastSection(true);
    // Every profile in sight at once: there are a dozen of them.
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    table->setMinimumHeight(table->verticalHeader()->defaultSectionSize() * static_cast<int>(allProfiles().size() + 1) +
                            2 * table->frameWidth() + 4);
    layout->addWidget(table);

    auto* editRow = new QHBoxLayout;
    editRow->addWidget(new QLabel(QStringLiteral("Адрес:"), this));
    addressEdit = new QLineEdit(this);
    addressEdit->setObjectName(QStringLiteral("AddressEdit"));
    addressEdit->setPlaceholderText(QStringLiteral("https://адрес-портала:порт (пусто — встроенный адрес)"));
    editRow->addWidget(addressEdit, 1);
    writeButton = new QPushButton(QStringLiteral("Записать"), this);
    probeButton = new QPushButton(QStringLiteral("Проверить"), this);
    stopButton = new QPushButton(QStringLiteral("Остановить"), this);
    stopButton->setEnabled(false);
    for (QPushButton* button : {writeButton, probeButton, stopButton}) {
        button->setAutoDefault(false);
        editRow->addWidget(button);
    }
    layout->addLayout(editRow);
    resultLabel = new QLabel(this);
    resultLabel->setObjectName(QStringLiteral("ResultLabel"));
    resultLabel->setWordWrap(true);
    resultLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    resultLabel->setMinimumHeight(resultLabel->fontMetrics().lineSpacing() * 5);
    resultLabel->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    layout->addWidget(resultLabel);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("Закрыть"), QDialogButtonBox::RejectRole)->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(writeButton, &QPushButton::clicked, this, &PortalsDialog::writeAddress);
    connect(addressEdit, &QLineEdit::returnPressed, this, &PortalsDialog::writeAddress);
    connect(probeButton, &QPushButton::clicked, this, &PortalsDialog::startProbe);
    connect(stopButton, &QPushButton::clicked, this, &PortalsDialog::stopProbe);
    connect(table, &QTableWidget::itemSelectionChanged, this, &PortalsDialog::lineChosen);
    fillTable();
    resize(980, sizeHint().height());
    table->selectRow(0);
}

PortalsDialog::~PortalsDialog() {
    m_stop = true;
    if (m_worker.joinable()) m_worker.join();
}

void PortalsDialog::fillTable() {
    const std::string userFile = portalsIniFiles(m_context.settingsPath, nullptr).back();
    const std::vector<PortalLine> lines =
        portalLines(*m_context.book, m_context.addresses, userFile, *m_context.pins, m_context.lastRun);
    table->setRowCount(static_cast<int>(lines.size()));
    for (int row = 0; row < table->rowCount(); ++row) {
        const PortalLine& line = lines[static_cast<std::size_t>(row)];
        table->setItem(row, kOperator, cell(utf8(std::string(line.profile->name))));
        table->setItem(row, kCodes, cell(utf8(line.planCodes)));
        table->setItem(row, kAddress, cell(line.placeholder ? QStringLiteral("не задан") : utf8(line.address),
                                           utf8(line.address)));
        table->setItem(row, kSource, cell(sourceText(line), utf8(line.sourceFile)));
        table->setItem(row, kRows, cell(QString::number(line.rows)));
        table->setItem(row, kKey, cell(keyText(line.pin), utf8(line.pin)));
        table->setItem(row, kLastRun, cell(lastRunText(line)));
    }
    // The last column keeps the width that is left.
    for (int column = 0; column < kLastRun; ++column) table->resizeColumnToContents(column);
}

const ProviderProfile* PortalsDialog::chosenProfile() const {
    const int row = table->currentRow();
    const std::vector<const ProviderProfile*> profiles = allProfiles();
    return row >= 0 && row < static_cast<int>(profiles.size()) ? profiles[static_cast<std::size_t>(row)] : nullptr;
}

void PortalsDialog::selectProfile(const QString& name) {
    const std::vector<const ProviderProfile*> profiles = allProfiles();
    for (std::size_t i = 0; i < profiles.size(); ++i)
        if (utf8(std::string(profiles[i]->name)) == name) table->selectRow(static_cast<int>(i));
}

void PortalsDialog::lineChosen() {
    const ProviderProfile* profile = chosenProfile();
    if (!profile) return;
    const std::string& address = m_context.addresses.*profile->baseAddress;
    addressEdit->setText(isPlaceholderAddress(address) ? QString() : utf8(address));
}

void PortalsDialog::say(const QString& text, bool trouble) {
    resultLabel->setStyleSheet(trouble ? QStringLiteral("color: #b00000;") : QString());
    resultLabel->setText(text);
}

void PortalsDialog::writeAddress() {
    const ProviderProfile* profile = chosenProfile();
    if (!profile) return;
    const QString typed = addressEdit->text().trimmed();
    const std::optional<std::string> address =
        typed.isEmpty() ? std::nullopt : std::optional<std::string>(typed.toStdString());
    const Expected<PortalAddressWrite> written = writePortalAddress(m_context.settingsPath, std::string(profile->name), address);
    const QString name = utf8(std::string(profile->name));
    if (!written) {
        const std::string file = portalsIniFiles(m_context.settingsPath, nullptr).back();
        say(QStringLiteral("Адрес %1 не записан: Korvex не стал бы его использовать. Файл %2 не изменён.\n%3")
                .arg(name, utf8(file), utf8(written.error().message)),
            true);
        return;
    }
    m_reloaded = loadPortals(m_context.settingsPath);
    m_context.addresses = m_reloaded->addresses;
    const int row = table->currentRow();
    fillTable();
    table->selectRow(row);
    say(!written->changed ? QStringLiteral("%1 уже так и сказано; ничего не изменилось.").arg(utf8(written->file))
        : address ? QStringLiteral("Адрес %1 записан в %2 и используется с этой минуты.").arg(name, utf8(written->file))
                  : QStringLiteral("Адрес %1 убран из %2: используется встроенный.").arg(name, utf8(written->file)),
        false);
}

void PortalsDialog::startProbe() {
    const ProviderProfile* builtIn = chosenProfile();
    if (!builtIn || probing()) return;
    if (m_worker.joinable()) m_worker.join();
    const std::string address = addressEdit->text().trimmed().toStdString();
    const std::string origin = pinOrigin(address);
    const std::string pinned = origin.empty() ? std::string() : m_context.pins->pinOf(origin);
    const QString name = utf8(std::string(builtIn->name));
    m_stop = false;
    m_probeDone = false;
    probeButton->setEnabled(false);
    stopButton->setEnabled(true);
    say(QStringLiteral("Проверяется %1…").arg(utf8(address)), false);
    // The thread gets copies: the addresses keep the edited profiles alive while it runs.
    m_worker = std::thread([this, addresses = m_context.addresses, builtIn, address, pinned, name,
                            proxy = m_context.proxy, limits = m_context.probeLimits] {
        const PortalProbe probe =
            probePortal(effectiveProfile(addresses, *builtIn), address, pinned, proxy, &m_stop, limits);
        m_probeDone = true;
        QMetaObject::invokeMethod(this, [this, probe, name, pinned] { showProbe(probe, name, pinned); },
                                  Qt::QueuedConnection);
    });
}

void PortalsDialog::stopProbe() {
    m_stop = true;
}

void PortalsDialog::showProbe(const PortalProbe& probe, const QString& profileName, const std::string& pinned) {
    probeButton->setEnabled(true);
    stopButton->setEnabled(false);
    say(portalProbeText(probe, profileName, pinned), probe.status == 0 || probe.key == ProbeKey::Other ||
                                                          probe.page == ProbePage::Unrecognised);
    emit probeFinished();
}

}  // namespace korvex
