#include "app/tform1.h"

#include <algorithm>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStringList>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>

#include "app/account_count_spin_box.h"
#include "app/qt_text.h"
#include "app/qt_update_dispatcher.h"
#include "app/text_grid_model.h"
#include "app/up_qt_user_interface.h"
#include "book/balance_columns.h"
#include "checks/plan_codes.h"
#include "net/curl1_setup.h"
#include "run/run_tools.h"
#include "net/receive_buffer.h"
#include "settings/ini_file.h"
#include "settings/settings_file.h"
#include "update/updater/program_settings.h"

// The pictures live in this static library; its resources must be registered by hand.
static void initKorvexResources() {
    Q_INIT_RESOURCE(korvex);
}

namespace korvex {

namespace {

// The balance table's headings, design widths and widest usual texts, from its column table.
QStringList statColumnTexts(std::string_view BalanceColumn::*text) {
    QStringList texts;
    for (const BalanceColumn& column : kBalanceColumns) texts << QString::fromUtf8(column.*text);
    return texts;
}
const QStringList kStatHeadings = statColumnTexts(&BalanceColumn::heading);
const std::vector<int> kStatWidths = [] {
    std::vector<int> widths;
    for (const BalanceColumn& column : kBalanceColumns) widths.push_back(column.width);
    return widths;
}();
const QString kPlanHeading = QStringLiteral("39/42/5/40/53/GL/15/21/75/39S/R");
const QString kPlanHeadingFirstStart = QStringLiteral("39/42/5/40/53/GL/15/21/75/39S/75R/40R/5R/53R/90R");

// The help text: two lines of instruction, then the services and the codes that select them.
QStringList helpLines() {
    QStringList lines = {QStringLiteral("В поля настроек вводите логин "), QStringLiteral("и пароль и спутник:")};
    for (const std::string& line : planCodeHelpLines()) lines << toQ(line);
    return lines;
}

const QStringList kHelpLines = helpLines();

constexpr int kClientWidths[kAccountCols] = {92, 70, 127, 264};
constexpr int kRowHeight = 18;

QTableView* makeGrid(QWidget* parent, const char* name, const int* widths, int cols) {
    auto* view = new QTableView(parent);
    view->setObjectName(QString::fromLatin1(name));
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(kRowHeight);
    view->verticalHeader()->setMinimumSectionSize(kRowHeight);
    view->horizontalHeader()->setFixedHeight(23);
    view->horizontalHeader()->setHighlightSections(false);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view->setProperty("columnWidths", QVariant::fromValue(QList<int>(widths, widths + cols)));
    return view;
}

QList<int> columnWidths(const QTableView* view) {
    QList<int> widths;
    for (int c = 0; c < view->model()->columnCount(); ++c) widths << view->columnWidth(c);
    return widths;
}

void setColumnWidths(QTableView* view, const QList<int>& widths) {
    for (int c = 0; c < widths.size(); ++c) view->setColumnWidth(c, widths[c]);
}

// Divides the table's fixed width among its columns: each gets its design width, raised to what its
// heading and its widest usual text (`samples`, by column) need; the raise is taken from the columns
// with room to spare, in proportion to it, and width left over goes to the last column with free
// text (`stretch`).
void fitColumnWidths(QTableView* view, const QStringList& samples, int stretch) {
    const auto design = view->property("columnWidths").value<QList<int>>();
    const QStyle* style = view->style();
    const int cellMargin = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1) + 1;
    const int available = view->width() - 2 * view->frameWidth() -
                          style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
    QList<int> needed, widths;
    int total = 0;
    for (int c = 0; c < design.size(); ++c) {
        int need = view->horizontalHeader()->sectionSizeHint(c);
        if (c < samples.size() && !samples[c].isEmpty())
            need = std::max(need, view->fontMetrics().horizontalAdvance(samples[c]) + cellMargin);
        needed << need;
        widths << std::max(design[c], need);
        total += widths.back();
    }
    int excess = total - available;
    if (excess > 0) {
        int slack = 0;
        for (int c = 0; c < widths.size(); ++c) slack += widths[c] - needed[c];
        const int take = std::min(excess, slack);
        int taken = 0;
        for (int c = 0; c < widths.size() && slack > 0; ++c) {
            const int share = static_cast<int>(static_cast<long long>(take) * (widths[c] - needed[c]) / slack);
            widths[c] -= share;
            taken += share;
        }
        // What rounding left goes from the columns with room, one pixel at a time.
        for (int c = 0; taken < take; c = (c + 1) % widths.size())
            if (widths[c] > needed[c]) --widths[c], ++taken;
    } else {
        widths[stretch] -= excess;
    }
    setColumnWidths(view, widths);
}

}  // namespace

TForm1::TForm1(std::string settingsPath, WindowEnvironment environment, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      FileName(std::move(settingsPath)),
      m_env(std::move(environment)),
      m_pins(pinsPathBeside(FileName)),
      m_schedule(m_env.wallClock ? m_env.wallClock
                                 : RefreshSchedule::Clock([] { return std::chrono::system_clock::now(); })) {
    if (!m_env.urlOpener) m_env.urlOpener = std::make_shared<DesktopUrlOpener>();
    if (!m_env.clock) m_env.clock = std::make_shared<SystemCheckClock>();
    if (!m_env.updateUserInterface) m_env.updateUserInterface = std::make_shared<TupQtUserInterface>(this);
    m_updateDispatcher = std::make_unique<QtUpdateDispatcher>();
    upUpdater1 = std::make_unique<TupUpdater>(*m_updateDispatcher, m_env.updateUserInterface.get(),
                                              m_env.urlOpener.get());
    applyProgramUpdaterSettings(*upUpdater1, m_env.addresses.updateInfo, m_env.addresses.publisher, kApplicationTitle);
    // After the hand-over to the update helper the program ends, as "Выход" ends it.
    upUpdater1->CloseApplication = [this] { N1Click(); };
    // An exception of the automatic check is reported as every other error of the window.
    upUpdater1->OnApplicationException = [this](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            showError(QString::fromStdString(e.what()));
        } catch (...) {
            showError(QStringLiteral("Unknown error"));
        }
    };
    makeChecks();
    initKorvexResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(kWindowCaption));
    setFixedSize(806, 473);
    buildControls();
    setUpCurl1(Curl1, m_pins, [this](THttpTransferBase& sender) { Curl1Wait(sender); });
    Curl1.setOnReceive([this](THttpTransfer& sender, const char* data, std::uint32_t len, bool& bContinue) {
        Curl1Receive(sender, data, len, bContinue);
    });
    FormCreate();
    loadRefreshSettings();
    std::vector<std::string> arguments;
    for (const QString& argument : QCoreApplication::arguments()) arguments.push_back(argument.toLocal8Bit().toStdString());
    upUpdater1->Loaded(arguments);
}

TForm1::~TForm1() {
    detachSignals();
    FormDestroy();
    upUpdater1.reset();  // before the dispatcher it reports through
    // The widgets go now, while the book their models show is still there; left to QWidget's
    // destructor they would outlive every member.
    QList<QPointer<QObject>> going;
    for (QObject* child : findChildren<QObject*>(Qt::FindDirectChildrenOnly)) going << child;
    for (const QPointer<QObject>& child : going) delete child.data();
}

void TForm1::detachSignals() {
    // Nothing reaches the window once it is going: not the application's focus changes, not its own
    // widgets, the tray or the schedule's timer as they are taken down, not a call queued for later.
    // The one save on the way out is FormDestroy's, made while every member is whole.
    m_scheduleTimer->stop();
    QObject::disconnect(qApp, nullptr, this, nullptr);
    for (QObject* child : findChildren<QObject*>()) child->disconnect(this);
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
}

void TForm1::buildControls() {
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, 0, 806, 473);
    PageControl1->setDocumentMode(true);
    buildTabBalances();
    buildTabSettings();
    buildTabAbout();
    buildTabNews();
    buildTray();
    buildRowMenu();
    buildBalanceMenu();
    buildPortalsControls();
    PageControl1->setCurrentWidget(tab2);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TForm1::PageControl1Change);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        // The account table (with its in-place editor and header) lost the focus to something else.
        const auto inClient = [this](QWidget* w) { return w && (w == client || client->isAncestorOf(w)); };
        if (inClient(old) && !inClient(now)) clientExit();
    });
}

void TForm1::buildTabBalances() {
    tab1 = new QWidget;
    tab1->setObjectName(QStringLiteral("tab1"));
    PageControl1->addTab(tab1, QStringLiteral("Балансы"));

    Stat = makeGrid(tab1, "Stat", kStatWidths.data(), kStatCols);
    Stat->setGeometry(0, 0, 798, 388);
    Stat->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Stat->setSelectionBehavior(QAbstractItemView::SelectRows);
    Stat->setSelectionMode(QAbstractItemView::SingleSelection);
    m_statModel = new TextGridModel(m_book.Stat, false, this);
    Stat->setModel(m_statModel);
    m_statModel->setHeadings(kStatHeadings);
    setColumnWidths(Stat, Stat->property("columnWidths").value<QList<int>>());

    but1 = new QPushButton(QStringLiteral("Обновить все балансы"), tab1);
    but1->setObjectName(QStringLiteral("but1"));
    but1->setGeometry(0, 394, 721, 24);
    JvXPButton2 = new QPushButton(QStringLiteral("СТОП"), tab1);
    JvXPButton2->setObjectName(QStringLiteral("JvXPButton2"));
    JvXPButton2->setGeometry(727, 394, 71, 24);
    JvXPButton2->setEnabled(false);
    connect(but1, &QPushButton::clicked, this, &TForm1::bbb111Click);
    connect(JvXPButton2, &QPushButton::clicked, this, &TForm1::JvXPButton2Click);
    JvXPProgressBar1 = new RunProgressBar(tab1);
    JvXPProgressBar1->setObjectName(QStringLiteral("JvXPProgressBar1"));
    JvXPProgressBar1->setGeometry(0, 422, 798, 16);
    JvXPProgressBar1->setTextVisible(false);
    JvXPProgressBar1->setMaximum(0);
}

void TForm1::buildTabSettings() {
    tab2 = new QWidget;
    tab2->setObjectName(QStringLiteral("tab2"));
    PageControl1->addTab(tab2, QStringLiteral("Настройки"));

    client = makeGrid(tab2, "client", kClientWidths, kAccountCols);
    client->setGeometry(0, 0, 640, 359);  // up to the count field, for the holders' names
    client->setEditTriggers(QAbstractItemView::AllEditTriggers);
    client->setSelectionMode(QAbstractItemView::SingleSelection);
    m_clientModel = new TextGridModel(m_book.client, true, this);
    client->setModel(m_clientModel);
    setColumnWidths(client, client->property("columnWidths").value<QList<int>>());

    clients = new AccountCountSpinBox(tab2);
    clients->setObjectName(QStringLiteral("clients"));
    clients->setGeometry(645, 0, 97, 49);
    clients->setRange(kMinAccounts, kMaxAccounts);
    clients->setValue(1);
    QFont big = clients->font();
    big.setPointSize(20);
    big.setBold(true);
    clients->setFont(big);
    connect(clients, &QSpinBox::valueChanged, this, &TForm1::clientsChange);

    But2 = new QPushButton(QStringLiteral("Сохранить"), tab2);
    But2->setObjectName(QStringLiteral("But2"));
    But2->setGeometry(645, 55, 97, 49);
    connect(But2, &QPushButton::clicked, this, &TForm1::ButtonClick);

    JvCheckBox1 = new QCheckBox(QStringLiteral("Использовать прокси"), tab2);
    JvCheckBox1->setObjectName(QStringLiteral("JvCheckBox1"));
    JvCheckBox1->setGeometry(3, 365, 200, 20);
    JvLabel6 = new QLabel(QStringLiteral("Адрес"), tab2);
    JvLabel6->setGeometry(3, 390, 45, 20);
    JvEdit1 = new QLineEdit(tab2);
    JvEdit1->setObjectName(QStringLiteral("JvEdit1"));
    JvEdit1->setGeometry(51, 388, 121, 22);
    JvLabel7 = new QLabel(QStringLiteral("Порт"), tab2);
    JvLabel7->setGeometry(3, 417, 45, 20);
    JvEdit2 = new QLineEdit(tab2);
    JvEdit2->setObjectName(QStringLiteral("JvEdit2"));
    JvEdit2->setGeometry(51, 415, 121, 22);
    buildKeyringControls();
    buildRefreshSettings();
    buildAutostartControls();
}

void TForm1::buildTabAbout() {
    tab3 = new QWidget;
    tab3->setObjectName(QStringLiteral("tab3"));
    tab3->setAutoFillBackground(true);
    tab3->setStyleSheet(QStringLiteral(
        "#tab3 { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #b9d3ee); }"));
    PageControl1->addTab(tab3, QStringLiteral("О программе"));

    JvLabel1 = new QLabel(tab3);
    JvLabel1->setObjectName(QStringLiteral("JvLabel1"));
    JvLabel1->setGeometry(0, 8, 806, 48);
    JvLabel1->setAlignment(Qt::AlignCenter);
    JvLabel1->setStyleSheet(QStringLiteral("color: red; font-size: 28pt; font-weight: bold; font-style: italic;"));

    JvLabel2 = new QLabel(QStringLiteral("Korvex: балансы спутникового интернета в одном окне"), tab3);
    JvLabel2->setGeometry(20, 70, 480, 20);
    JvLabel3 = new QLabel(QStringLiteral("Разработчики Korvex"), tab3);
    JvLabel3->setGeometry(20, 95, 480, 20);
    JvLabel4 = new QLabel(QStringLiteral("Вопросы и пожелания: через сайт программы"), tab3);
    JvLabel4->setGeometry(20, 120, 480, 20);
    JvLabel5 = new QLabel(toQ(m_env.addresses.publisher), tab3);
    JvLabel5->setObjectName(QStringLiteral("JvLabel5"));
    JvLabel5->setGeometry(20, 145, 480, 20);
    JvLabel8 = new QLabel(QStringLiteral("Новая версия тут"), tab3);
    JvLabel8->setObjectName(QStringLiteral("JvLabel8"));
    JvLabel8->setGeometry(20, 170, 480, 20);
    for (QLabel* link : {JvLabel5, JvLabel8}) {
        link->setCursor(Qt::PointingHandCursor);
        link->setStyleSheet(QStringLiteral("color: green; font-weight: bold;"));
        link->installEventFilter(this);
    }
    JvXPButton1 = new QPushButton(QStringLiteral("Оплата услуг"), tab3);
    JvXPButton1->setObjectName(QStringLiteral("JvXPButton1"));
    JvXPButton1->setGeometry(20, 200, 160, 28);
    connect(JvXPButton1, &QPushButton::clicked, this, &TForm1::JvXPButton1Click);

    JvMemo1 = new QPlainTextEdit(tab3);
    JvMemo1->setObjectName(QStringLiteral("JvMemo1"));
    JvMemo1->setGeometry(520, 70, 270, 260);
    JvMemo1->setPlainText(kHelpLines.join(QLatin1Char('\n')));
    JvMemo1->setReadOnly(true);  // for reading, in the normal colours

    Button1 = new QPushButton(QStringLiteral("Авто-Обновить"), tab3);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(20, 240, 160, 28);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button100Click);
    buildUndoControls();
}

void TForm1::buildTabNews() {
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Новости"));
    News = new QPushButton(QStringLiteral("Обновить новости"), TabSheet1);
    News->setObjectName(QStringLiteral("News"));
    News->setGeometry(0, 0, 160, 26);
    connect(News, &QPushButton::clicked, this, &TForm1::NewsClick);
    Memo2 = new QPlainTextEdit(TabSheet1);
    Memo2->setObjectName(QStringLiteral("Memo2"));
    Memo2->setGeometry(0, 30, 801, 412);
    Memo2->setReadOnly(true);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && (watched == JvLabel5 || watched == JvLabel8)) {
        if (watched == JvLabel5) JvLabel5MouseUp();
        else JvLabel8MouseUp();
        return true;
    }
    if (event->type() == QEvent::MouseButtonPress) {
        auto* press = static_cast<QMouseEvent*>(event);
        auto* widget = static_cast<QWidget*>(watched);
        if (watched == client->viewport() || watched == client->horizontalHeader()) {
            clientMouseDown(widget, press->button(), press->position().toPoint());
            if (press->button() == Qt::RightButton) return true;
        } else if (watched == Stat->viewport() || watched == Stat->horizontalHeader()) {
            StatMouseDown(widget, press->button(), press->position().toPoint());
            if (press->button() == Qt::RightButton) return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

ProxySettings TForm1::proxySettings() const {
    return {JvCheckBox1->isChecked(), fromQ(JvEdit1->text()), fromQ(JvEdit2->text())};
}

ProxySettings TForm1::proxyForCurl1() {
    const ProxySettings proxy = proxySettings();
    m_proxyInForce = proxyInForce(m_proxyInForce, proxy);
    return proxy;
}

void TForm1::showError(const QString& text) {
    if (m_env.showError) {
        m_env.showError(text);
        return;
    }
    QMessageBox::critical(this, QString::fromLatin1(kApplicationTitle), text);
}

void TForm1::writeHeadings(bool firstStart) {
    m_statModel->setHeadings(kStatHeadings);
    m_clientModel->setHeadings({QStringLiteral("Логин"), QStringLiteral("Пароль"),
                                firstStart ? kPlanHeadingFirstStart : kPlanHeading, QStringLiteral("ФИО")});
    // The widest texts the columns usually hold: a long login, a balance, the check time.
    fitColumnWidths(Stat, statColumnTexts(&BalanceColumn::widest), kStatHolder);
    fitColumnWidths(client, {QString::fromUtf8(balanceColumn(kStatLogin).widest), QStringLiteral("Qw3rty-71")},
                    kHolder);
}

void TForm1::reloadTables() {
    // A reset forgets the column widths; the ones shown (the user may have dragged them) stay.
    const QList<int> clientWidths = columnWidths(client);
    const QList<int> statWidths = columnWidths(Stat);
    m_clientModel->reload();
    m_statModel->reload();
    setColumnWidths(client, clientWidths);
    setColumnWidths(Stat, statWidths);
}

void TForm1::setCountSilently(int count) {
    const QSignalBlocker blocker(clients);
    m_book.setCount(count);
    clients->setValue(m_book.clients);
}

void TForm1::FormCreate() {
    JvTrayIcon1->setToolTip(windowTitle());
    const SettingsFileState state = settingsFileState(FileName);
    if (!state.usable()) {
        startWithoutSaving(state);
    } else if (state.kind == SettingsFileState::Book) {
        const StartupValues start = readStartup(FileName);
        setCountSilently(start.count);
        JvCheckBox1->setChecked(start.proxy.enabled);
        JvEdit1->setText(toQ(start.proxy.address));
        JvEdit2->setText(toQ(start.proxy.port));
        writeHeadings(false);  // both tables already hold `clients` rows (setCountSilently)
        read();
        m_bookRead = true;
        // Said now, before anything is saved over it.
        if (const QString notes = startNotes(start); !notes.isEmpty()) showError(notes);
    } else {
        repaint();
        try {
            createNewFile(FileName, proxySettings());
        } catch (const SettingsWriteError& e) {
            // Start-up ends here; the window still opens, with one empty row, and saves it when it
            // closes, unless the program was told to end while the message stood.
            reloadTables();
            showError(QString::fromStdString(e.what()));
            m_bookRead = !(m_env.endRequested && m_env.endRequested());
            return;
        }
        m_bookRead = true;
        setCountSilently(1);
        writeHeadings(true);
    }
    JvLabel1->setText(windowTitle());
    JvXPProgressBar1->setMaximum(m_book.clients - 1);
    reloadTables();
    repaint();
    try {
        configureCurl1AtStart(Curl1, proxyForCurl1());
    } catch (const EConvertError& e) {
        showError(toQ(e.what()));
    }
}

void TForm1::startWithoutSaving(const SettingsFileState& state) {
    m_savingOff = true;
    setCountSilently(1);
    writeHeadings(false);
    const QString path = QString::fromStdString(FileName);
    QString what;
    switch (state.kind) {
        case SettingsFileState::Folder:
            what = QStringLiteral("На месте файла настроек %1 — папка.").arg(path);
            break;
        case SettingsFileState::NotSettings:
            what = QStringLiteral("%1 — не файл настроек, который Korvex может прочитать (%2). Если это "
                                  "ваш файл настроек, сохраните его в кодировке Windows-1251.")
                       .arg(path, state.error == IniTextError::Utf16     ? QStringLiteral("текст в UTF-16")
                                  : state.error == IniTextError::Binary ? QStringLiteral("двоичные данные")
                                                                         : QStringLiteral("нет ни одного раздела"));
            break;
        default:
            what = QStringLiteral("Файл настроек %1 не читается: %2.")
                       .arg(path, QString::fromLocal8Bit(state.error.message()));
    }
    showError(what + QStringLiteral("\n\nKorvex работает без сохранения: в этот файл ничего не будет "
                                    "записано. Исправьте его и запустите Korvex снова."));
}

QString TForm1::startNotes(const StartupValues& start) const {
    QStringList notes;
    // The accounts beyond row 1 are still in the file and come back when the count is set again.
    if (start.countDamaged)
        notes << QStringLiteral("Число учётных записей в файле настроек не читается (Count=%1): "
                                "загружено записей: %2, в файле их: %3. Укажите число записей на "
                                "вкладке «Настройки».")
                     .arg(toQ(start.countText))
                     .arg(m_book.clients)
                     .arg(start.accountRows);
    if (start.rowsBeyondMax > 0)
        notes << QStringLiteral("В файле настроек записей больше %1: записи после %1-й (их %2) не загружены. "
                                "Они остаются в файле как есть и сохранением не затрагиваются.")
                     .arg(kMaxAccounts)
                     .arg(start.rowsBeyondMax);
    return notes.join(QStringLiteral("\n\n"));
}

void TForm1::FormDestroy() {
    if (m_destroyed) return;
    m_destroyed = true;
    zapis();
}

void TForm1::read() {
    korvex::read(m_book, FileName);
    fillPasswordsFromKeyring();
    reloadTables();
}

bool TForm1::zapis() {
    if (m_savingOff) return false;  // said once at start
    if (!m_bookRead) return false;  // nothing of the file is in the tables to write back
    try {
        const BookSaveAnswer answer = saveBook(m_book, proxySettings(), FileName, m_keyringBook.get());
        if (m_keyringBook && answer.keyring.ok())
            m_keyringProblemSaid = false;
        else if (m_keyringBook)
            sayKeyringProblem(answer.keyring,
                              QStringLiteral("Пароли, которые связка ключей не приняла, остались в файле настроек."));
        m_book.forgetDroppedRows();
        if (answer.madePrivate)
            showError(QStringLiteral("В файле настроек %1 хранятся пароли, а читать его могли другие пользователи "
                                     "компьютера. Теперь он доступен только вам (права 0600).")
                          .arg(QString::fromStdString(FileName)));
        return true;
    } catch (const SettingsWriteError& e) {
        showError(QString::fromStdString(e.what()));
        return false;
    }
}

void TForm1::clientsChange(int count) {
    m_book.setCount(count);
    read();
    JvXPProgressBar1->setMaximum(m_book.clients - 1);
}

void TForm1::clientExit() {
    zapis();
}

void TForm1::ButtonClick() {
    zapis();
    JvXPProgressBar1->setMaximum(m_book.clients - 1);
}

void TForm1::PageControl1Change(int) {
    m_book.syncDerivedColumns();
    reloadTables();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (m_running) {
        // Stop the run first; it saves, and then closes the window itself.
        m_closeAfterRun = true;
        JvXPButton2Click();
        event->ignore();
        return;
    }
    event->accept();
    emit windowClosed();
}

}  // namespace korvex
