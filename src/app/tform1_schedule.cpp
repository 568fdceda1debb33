// The settings tab's refresh settings (checks at once, per portal, every N hours) and the scheduled
// refresh. Both go beyond the window's design, so they sit in its free column under "Сохранить" and
// in their own section of Settings.ini; left at their defaults the window runs as it always did.
#include <QApplication>
#include <QLabel>
#include <QSpinBox>
#include <QTimer>
#include <QWidget>

#include "app/qt_text.h"
#include "app/tform1.h"
#include "run/refresh_settings.h"

namespace korvex {

namespace {

QSpinBox* makeSpin(QWidget* parent, const char* name, int x, int y, int low, int high) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setGeometry(x, y, 70, 24);
    spin->setRange(low, high);
    return spin;
}

QLabel* makeLabel(QWidget* parent, const QString& text, int x, int y, int height) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(x, y, 161, height);
    label->setWordWrap(true);
    return label;
}

}  // namespace

void TForm1::buildRefreshSettings() {
    // The free column under "Сохранить": x 645..806, from y 110 down.
    RefreshJobsLabel = makeLabel(tab2, QStringLiteral("Проверять одновременно"), 645, 110, 32);
    RefreshJobs = makeSpin(tab2, "RefreshJobs", 645, 144, 1, kMaxRefreshJobs);
    RefreshJobs->setToolTip(
        QStringLiteral("Сколько учётных записей проверять одновременно (от 1 до %1). При 1 "
                       "записи проверяются по одной, по порядку строк.")
            .arg(kMaxRefreshJobs));
    RefreshPerPortalLabel = makeLabel(tab2, QStringLiteral("с одного портала"), 645, 174, 18);
    RefreshPerPortal = makeSpin(tab2, "RefreshPerPortal", 645, 194, 1, kMaxRefreshPerPortal);
    RefreshPerPortal->setToolTip(
        QStringLiteral("Сколько проверок одновременно отправлять на один портал оператора "
                       "(от 1 до %1), чтобы не перегружать его. Действует, когда "
                       "одновременно проверяется больше одной записи.")
            .arg(kMaxRefreshPerPortal));
    RefreshEveryHoursLabel = makeLabel(tab2, QStringLiteral("Проверять каждые"), 645, 226, 18);
    RefreshEveryHours = makeSpin(tab2, "RefreshEveryHours", 645, 246, 0, kMaxRefreshHours);
    RefreshEveryHours->setSpecialValueText(QStringLiteral("выкл"));
    RefreshEveryHours->setSuffix(QStringLiteral(" ч"));
    RefreshEveryHours->setToolTip(
        QStringLiteral("Обновлять все балансы через столько часов после предыдущего "
                       "обновления, пока Korvex запущена (от 1 до %1 ч); «выкл» — только "
                       "по команде.")
            .arg(kMaxRefreshHours));
    for (QSpinBox* spin : {RefreshJobs, RefreshPerPortal, RefreshEveryHours})
        connect(spin, &QSpinBox::valueChanged, this, [this] { refreshSettingsChanged(); });

    m_scheduleTimer = new QTimer(this);
    m_scheduleTimer->setInterval(kScheduleTickMs);
    connect(m_scheduleTimer, &QTimer::timeout, this, &TForm1::scheduleTick);
}

void TForm1::loadRefreshSettings() {
    const RefreshSettings settings = readRefreshSettings(FileName);
    // Said once, at the start; the spin boxes show the defaults, and a change writes them over.
    if (const std::string notice = refreshSettingsNotice(settings, FileName, NoticeLanguage::Russian);
        !notice.empty())
        showError(QString::fromStdString(notice));
    for (QSpinBox* spin : {RefreshJobs, RefreshPerPortal, RefreshEveryHours}) spin->blockSignals(true);
    RefreshJobs->setValue(settings.jobs);
    RefreshPerPortal->setValue(settings.perPortal);
    RefreshEveryHours->setValue(settings.everyHours);
    for (QSpinBox* spin : {RefreshJobs, RefreshPerPortal, RefreshEveryHours}) spin->blockSignals(false);
    applySchedulePeriod(settings.everyHours);
}

void TForm1::refreshSettingsChanged() {
    RefreshSettings settings;
    settings.jobs = RefreshJobs->value();
    settings.perPortal = RefreshPerPortal->value();
    settings.everyHours = RefreshEveryHours->value();
    // Kept at once, as the account table is: a setting that only "Сохранить" kept would be lost by
    // a window closed from the tray.
    if (m_savingOff) {
        // The file at the settings' place was not read at start: nothing goes into it.
    } else if (const std::string problem = writeRefreshSettings(FileName, settings); !problem.empty()) {
        showError(toQ(problem));
    }
    applySchedulePeriod(settings.everyHours);
}

void TForm1::applySchedulePeriod(int hours) {
    // A period set anew counts from now, as a run would.
    if (hours != m_schedule.periodHours()) m_schedule.runEnded();
    m_schedule.setPeriod(hours);
    if (hours > 0)
        m_scheduleTimer->start();
    else
        m_scheduleTimer->stop();
}

bool TForm1::scheduleTick() {
    if (!m_schedule.due()) return false;
    // Nothing starts over what the user is doing; the next tick looks again.
    if (m_running || QApplication::activeModalWidget() || QApplication::activePopupWidget() ||
        upUpdater1->Upgrading())
        return false;
    runRefresh(0, m_book.clients - 1, true);
    return true;
}

}  // namespace korvex
