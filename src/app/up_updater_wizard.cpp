#include "app/up_updater_wizard.h"

#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "app/up_dialog_common.h"
#include "platform/codepage.h"

namespace korvex {

namespace {

QPointer<TupUpdaterWizardForm> g_wizard;

// The designed geometry of the current-file group and its contents; HideFileLocation is applied to
// these, so opening the wizard twice moves nothing twice.
constexpr QRect kCurrentFile(136, 34, 319, 125);
constexpr QRect kFileSize(6, 44, 307, 14);
constexpr QRect kDownloadingFrom(6, 14, 307, 14);
constexpr int kRateGap = 16, kEstimateGap = 16, kBarGap = 20, kBarWidth = 307, kBarHeight = 22;

// The built-in side picture: the program's icon on a dark-to-light blue ground.
QPixmap builtInSidePicture() {
    QPixmap picture(118, 218);
    QPainter painter(&picture);
    QLinearGradient ground(0, 0, 0, 218);
    ground.setColorAt(0, QColor(0x10, 0x2a, 0x5c));
    ground.setColorAt(1, QColor(0x6f, 0xa8, 0xdc));
    painter.fillRect(picture.rect(), ground);
    const QPixmap icon = upSmallPicture();
    if (!icon.isNull()) {
        const QPixmap large = icon.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        painter.drawPixmap((118 - large.width()) / 2, 40, large);
    }
    return picture;
}

QLabel* label(QWidget* parent, const char* name, int x, int y, int width = 307) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(x, y, width, 14);
    return l;
}

QProgressBar* bar(QWidget* parent, const char* name, int x, int y) {
    auto* b = new QProgressBar(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, y, kBarWidth, kBarHeight);
    b->setRange(0, 100);
    b->setValue(0);
    b->setTextVisible(false);
    return b;
}

}  // namespace

TupUpdaterWizardForm* TupUpdaterWizardForm::instance() {
    return g_wizard.data();
}

TupUpdaterWizardForm* TupUpdaterWizardForm::showWizard(const UpWizardOptions& options,
                                                       TupWizardListener& listener, QWidget* owner) {
    const bool created = g_wizard.isNull();
    if (created) g_wizard = new TupUpdaterWizardForm(owner);
    TupUpdaterWizardForm* wizard = g_wizard.data();
    wizard->m_listener = &listener;
    wizard->apply(options);
    if (created) upCentreOnScreen(wizard);
    wizard->show();
    wizard->raise();
    return wizard;
}

TupUpdaterWizardForm::TupUpdaterWizardForm(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("TupUpdaterWizardForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setFont(upDialogFont());
    setFixedSize(463, 281);

    PicturePanel = new QFrame(this);
    PicturePanel->setObjectName(QStringLiteral("PicturePanel"));
    PicturePanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PicturePanel->setLineWidth(1);
    PicturePanel->setGeometry(10, 10, 120, 220);
    Picture = new QLabel(PicturePanel);
    Picture->setObjectName(QStringLiteral("Picture"));
    Picture->setGeometry(1, 1, 118, 218);
    Picture->setScaledContents(true);

    WizardTitle = new QLabel(this);
    WizardTitle->setObjectName(QStringLiteral("WizardTitle"));
    QFont titleFont(QStringLiteral("Times New Roman"));
    titleFont.setStyleHint(QFont::Serif);
    titleFont.setPixelSize(19);
    titleFont.setBold(true);
    titleFont.setItalic(true);
    WizardTitle->setFont(titleFont);
    WizardTitle->setGeometry(136, 10, 319, 24);

    AfterNote = new QLabel(this);
    AfterNote->setObjectName(QStringLiteral("AfterNote"));
    AfterNote->setWordWrap(true);
    AfterNote->setTextFormat(Qt::PlainText);
    AfterNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    AfterNote->setGeometry(136, 44, 319, 14);

    LCurrentFile = new QGroupBox(this);
    LCurrentFile->setObjectName(QStringLiteral("LCurrentFile"));
    LDownloadingFileFrom = label(LCurrentFile, "LDownloadingFileFrom", 6, 14);
    FileURL = new QLineEdit(LCurrentFile);
    FileURL->setObjectName(QStringLiteral("FileURL"));
    FileURL->setGeometry(10, 28, 301, 13);
    FileURL->setReadOnly(true);  // every key typed into it is dropped
    FileURL->setFrame(false);
    FileURL->setFocusPolicy(Qt::NoFocus);
    QPalette urlColours = FileURL->palette();
    urlColours.setColor(QPalette::Base, urlColours.color(QPalette::Button));
    urlColours.setColor(QPalette::Text, urlColours.color(QPalette::Highlight));
    FileURL->setPalette(urlColours);
    LFileSize = label(LCurrentFile, "LFileSize", 6, 44);
    LTransferRate = label(LCurrentFile, "LTransferRate", 6, 60);
    LEstimatedTime = label(LCurrentFile, "LEstimatedTime", 6, 76);
    ProgressCurrentFile = bar(LCurrentFile, "ProgressCurrentFile", 6, 96);

    LAllFiles = new QGroupBox(this);
    LAllFiles->setObjectName(QStringLiteral("LAllFiles"));
    LAllFiles->setGeometry(136, 162, 319, 67);
    AllDownloading = label(LAllFiles, "AllDownloading", 6, 16);
    ProgressAllFiles = bar(LAllFiles, "ProgressAllFiles", 6, 38);

    Bevel = new QFrame(this);
    Bevel->setObjectName(QStringLiteral("Bevel"));
    Bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    Bevel->setGeometry(10, 238, 447, 2);

    // Two copies of the short name, one a pixel off in the highlight colour: engraved text.
    AboutShadow = label(this, "AboutShadow", 31, 234, 200);
    AboutLabel = label(this, "AboutLabel", 30, 233, 200);
    QPalette shadow = AboutShadow->palette();
    shadow.setColor(QPalette::WindowText, shadow.color(QPalette::Light));
    AboutShadow->setPalette(shadow);
    QPalette engraved = AboutLabel->palette();
    engraved.setColor(QPalette::WindowText, engraved.color(QPalette::Dark));
    AboutLabel->setPalette(engraved);
    for (QLabel* about : {AboutShadow, AboutLabel}) {
        about->setAutoFillBackground(false);
        about->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    // The bevel line runs behind the short name, which covers it with the window's colour.
    AboutShadow->setAutoFillBackground(true);

    FinishBtn = new QPushButton(this);
    FinishBtn->setObjectName(QStringLiteral("FinishBtn"));
    FinishBtn->setGeometry(296, 248, 75, 25);
    FinishBtn->setEnabled(false);
    FinishBtn->setAutoDefault(false);
    CancelBtn = new QPushButton(this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(380, 248, 75, 25);
    CancelBtn->setDefault(true);
    connect(FinishBtn, &QPushButton::clicked, this, &TupUpdaterWizardForm::FinishBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TupUpdaterWizardForm::CancelBtnClick);
}

void TupUpdaterWizardForm::apply(const UpWizardOptions& options) {
    m_options = options;
    const QString shortName =
        QLatin1Char(' ') + QString::fromStdString(cp1251ToUtf8(options.applicationTitle)) + QLatin1Char(' ');
    AboutShadow->setText(shortName);
    AboutLabel->setText(shortName);
    AboutShadow->adjustSize();
    AboutLabel->adjustSize();

    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, options.stayOnTop);  // hides a shown window
    if (visible) show();

    const bool hide = options.hideFileLocation;
    FileURL->setVisible(!hide);
    LDownloadingFileFrom->setVisible(!hide);
    QRect group = kCurrentFile;
    QRect size = kFileSize;
    if (hide) {
        size.moveTop(kDownloadingFrom.top());
        group.translate(0, 10);
        group.setHeight(group.height() - 30);
    }
    LCurrentFile->setGeometry(group);
    LFileSize->setGeometry(size);
    LTransferRate->setGeometry(size.translated(0, kRateGap));
    LEstimatedTime->setGeometry(size.translated(0, kRateGap + kEstimateGap));
    ProgressCurrentFile->move(size.left(), size.top() + kRateGap + kEstimateGap + kBarGap);

    QPixmap picture;
    if (!options.pictureFile.empty()) picture.load(QFile::decodeName(options.pictureFile.c_str()));
    Picture->setPixmap(picture.isNull() ? builtInSidePicture() : picture);

    LEstimatedTime->setText(upQ(UpText::Preparing));
    setWindowTitle(upQ(UpText::Caption));
    WizardTitle->setText(upQ(UpText::DownloadingFiles));
    LCurrentFile->setTitle(QLatin1Char(' ') + upQ(UpText::CurrentFile) + QLatin1Char(' '));
    LAllFiles->setTitle(QLatin1Char(' ') + upQ(UpText::AllFiles) + QLatin1Char(' '));
    LDownloadingFileFrom->setText(upQ(UpText::DownloadingFileFrom));
    FinishBtn->setText(upQ(UpText::Next));
    CancelBtn->setText(upQ(UpText::Cancel));
}

void TupUpdaterWizardForm::updateFile(const QString& url, int number, int count) {
    FileURL->setText(url);
    FileURL->setCursorPosition(0);
    AllDownloading->setText(upQ(upDownloadingOfText(number, count)));
}

void TupUpdaterWizardForm::fileStart(qint64 fileSize) {
    LFileSize->setText(upQ(upFileSizeText(fileSize, upUserDecimalSeparator())));
}

void TupUpdaterWizardForm::progress(int percentDone, int totalPercentsDone, double transferRateKbps,
                                    qint64 estimatedSecondsLeft) {
    ProgressCurrentFile->setValue(std::clamp(percentDone, 0, 100));
    ProgressAllFiles->setValue(std::clamp(totalPercentsDone, 0, 100));
    LTransferRate->setText(upQ(upTransferRateText(transferRateKbps, upUserDecimalSeparator())));
    LEstimatedTime->setText(upQ(upEstimatedTimeText(estimatedSecondsLeft)));
}

void TupUpdaterWizardForm::finishPage() {
    WizardTitle->setText(upQ(UpText::UpgradeCompleted));
    AfterNote->setText(upQ(upFinishNoteText(m_options.applicationTitle)));
    AfterNote->resize(AfterNote->width(), AfterNote->heightForWidth(AfterNote->width()));
    AfterNote->show();
    LCurrentFile->hide();
    LAllFiles->hide();
    CancelBtn->setEnabled(false);
    FinishBtn->setText(upQ(UpText::OK));
    m_finishReached = true;
    FinishBtn->setEnabled(true);
    FinishBtn->setDefault(true);
    FinishBtn->setFocus();
}

void TupUpdaterWizardForm::closeSilently() {
    m_closing = Closing::Silently;
    if (m_question) m_question->reject();
    close();
}

void TupUpdaterWizardForm::FinishBtnClick() {
    m_closing = Closing::Finished;
    TupWizardListener* listener = m_listener;
    close();
    if (listener) listener->wizardFinished();
}

void TupUpdaterWizardForm::CancelBtnClick() {
    close();
}

void TupUpdaterWizardForm::reject() {
    close();  // Escape asks like the close box does
}

void TupUpdaterWizardForm::closeEvent(QCloseEvent* event) {
    if (m_closing != Closing::No) {
        if (g_wizard == this) g_wizard = nullptr;
        event->accept();
        return;
    }
    event->ignore();
    // Once the upgrade is complete there is nothing left to abort: the close box and Escape finish
    // as "OK" does (after this event, so that the close runs outside it).
    if (m_finishReached) {
        QTimer::singleShot(0, this, [this] {
            if (m_closing == Closing::No) FinishBtnClick();
        });
        return;
    }
    if (!m_question && !m_askPending) {
        m_askPending = true;
        QTimer::singleShot(0, this, &TupUpdaterWizardForm::askAbort);
    }
}

void TupUpdaterWizardForm::askAbort() {
    m_askPending = false;
    if (m_closing != Closing::No) return;
    const UpBoxContent content = upAbortQuestionContent(m_options.applicationTitle);
    QPointer<TupUpdaterWizardForm> self(this);
    auto* box = new QMessageBox(QMessageBox::Question, upQ(content.caption), upQ(content.text),
                                QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("AbortQuestion"));
    box->setTextFormat(Qt::PlainText);
    box->button(QMessageBox::Yes)->setText(upQ(UpText::Yes));
    box->button(QMessageBox::No)->setText(upQ(UpText::No));
    box->setEscapeButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    m_question = box;
    // The download goes on while the question is open; its notifications may finish or close the
    // wizard meanwhile.
    const int answer = box->exec();
    if (self.isNull() || m_closing != Closing::No || answer != QMessageBox::Yes) return;
    m_closing = Closing::Aborted;
    TupWizardListener* listener = m_listener;
    close();
    if (listener) listener->wizardAbortConfirmed();
}

}  // namespace korvex
