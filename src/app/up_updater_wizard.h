#pragma once
// The download wizard: shows the progress of an upgrade while the engine downloads in the background,
// then its finish page. It never runs an event loop of its own while downloading: the update
// component feeds it from the engine's notifications, which arrive on the user-interface thread.
// Cancel, the close box and Alt+F4 ask the abort question; only the finish button closes it without.
// One wizard per process.
#include <QDialog>
#include <QPointer>

#include "update/texts/user_interface.h"

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QProgressBar;
class QPushButton;

namespace korvex {

class TupUpdaterWizardForm : public QDialog {
    Q_OBJECT
public:
    // The open wizard, or null.
    static TupUpdaterWizardForm* instance();
    // Opens the wizard (or takes the open one), applies the options and shows it without blocking.
    // `owner`: the main window; the wizard goes when it goes.
    static TupUpdaterWizardForm* showWizard(const UpWizardOptions& options, TupWizardListener& listener,
                                            QWidget* owner = nullptr);

    void updateFile(const QString& url, int number, int count);
    void fileStart(qint64 fileSize);
    void progress(int percentDone, int totalPercentsDone, double transferRateKbps,
                  qint64 estimatedSecondsLeft);
    void finishPage();
    // Closes without the question and without telling the listener.
    void closeSilently();

    QFrame* PicturePanel = nullptr;
    QLabel* Picture = nullptr;
    QLabel* WizardTitle = nullptr;
    QLabel* AfterNote = nullptr;
    QGroupBox* LCurrentFile = nullptr;
    QLabel* LDownloadingFileFrom = nullptr;
    QLineEdit* FileURL = nullptr;
    QLabel* LFileSize = nullptr;
    QLabel* LTransferRate = nullptr;
    QLabel* LEstimatedTime = nullptr;
    QProgressBar* ProgressCurrentFile = nullptr;
    QGroupBox* LAllFiles = nullptr;
    QLabel* AllDownloading = nullptr;
    QProgressBar* ProgressAllFiles = nullptr;
    QFrame* Bevel = nullptr;
    QLabel* AboutShadow = nullptr;
    QLabel* AboutLabel = nullptr;
    QPushButton* FinishBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    explicit TupUpdaterWizardForm(QWidget* owner);
    void apply(const UpWizardOptions& options);
    void FinishBtnClick();
    void CancelBtnClick();
    // The abort question; runs outside any close event, as a posted close would.
    void askAbort();

    enum class Closing { No, Finished, Aborted, Silently };
    Closing m_closing = Closing::No;
    bool m_finishReached = false;  // the finish page is shown: closing finishes
    TupWizardListener* m_listener = nullptr;
    UpWizardOptions m_options;
    QPointer<QMessageBox> m_question;
    bool m_askPending = false;
};

}  // namespace korvex
