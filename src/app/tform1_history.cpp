// The window's side of the balance history: the dialog for the row under the right-click, and the
// line that says when a run's checks could not be kept.
#include <QAction>
#include <QFontMetrics>
#include <QTableView>

#include "app/history_dialog.h"
#include "app/tform1.h"
#include "history/balance_history.h"
#include "platform/codepage.h"

namespace korvex {

void TForm1::BalanceHistoryItemClick() {
    if (m_curRow < 0) return;
    // The account table's login: the balance table's copy may be stale until the next tab change.
    auto* dialog = new HistoryDialog(historyPathFor(FileName), cp1251ToUtf8(m_book.client.cell(kLogin, m_curRow)),
                                     cp1251ToUtf8(m_book.client.cell(kPlanCode, m_curRow)), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void TForm1::sayHistoryProblem(const std::string& problem) {
    // The progress bar under the table is the window's status line: a run's end shows there, and so
    // does this, until the next run.
    const QString text =
        problem.empty() ? QString()
                        : QStringLiteral("История баланса не записана: ") + QString::fromStdString(problem);
    JvXPProgressBar1->setToolTip(text);
    // One line in the bar, the whole text in its tooltip. The bar's format reads %p, %v and %m; the
    // message is shown as it is.
    QString format =
        JvXPProgressBar1->fontMetrics().elidedText(text, Qt::ElideMiddle, JvXPProgressBar1->width() - 16);
    format.replace(QLatin1Char('%'), QChar(0xFF05));
    JvXPProgressBar1->setFormat(format);
    JvXPProgressBar1->setTextVisible(!problem.empty());
}

}  // namespace korvex
