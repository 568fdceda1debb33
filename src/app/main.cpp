// Korvex: one copy per user, one main window, everything saved when it closes.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "paths.h"
#include "save_leftovers.h"
#include "signal_bridge.h"
#include "single_instance.h"
#include "tform1.h"

int main(int argc, char** argv) {
    korvex::SingleInstance instance(korvex::lockFolderOfThisCopy());
    if (!instance.acquired()) {
        QApplication app(argc, argv);
        const QString text = instance.anotherCopyRuns()
                                 ? QStringLiteral("Запуск второй копии программы недопустим.")
                                 : QString::fromStdString(instance.error());
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        QMessageBox box(QMessageBox::Critical, QString::fromLatin1(korvex::kInstanceName), text, QMessageBox::Ok);
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
        box.exec();
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(korvex::kApplicationTitle));
    QApplication::setApplicationDisplayName(QString::fromLatin1(korvex::kApplicationTitle));

    const std::string settingsPath = korvex::defaultSettingsPath();
    // The lock is ours: no other copy is saving, so what a crashed save left goes now.
    korvex::removeSaveLeftovers(settingsPath);
    korvex::TForm1 form(settingsPath);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/korvex.png")));  // registered by the window
    korvex::SignalBridge bridge;
    QObject::connect(&bridge, &korvex::SignalBridge::terminationRequested, &form, [&form] { form.close(); });
    form.show();
    return app.exec();
}
