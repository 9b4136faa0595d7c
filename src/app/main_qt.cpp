// The desktop program: one dialog, shown until Exit or the close button.
#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/dialog.h"
#include "app/qt_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("quillmark");
    QGuiApplication::setDesktopFileName("quillmark");

    qm::CQuillmarkDlg dlg;
    qm::CQtDialogWindow window(dlg);

    // For the documentation: QUILLMARK_SCREENSHOT=file.png draws the dialog
    // with its build-type list dropped down into the file and ends.
    int status = 0;
    if (const char* shot = std::getenv("QUILLMARK_SCREENSHOT"); shot != nullptr && *shot) {
        QTimer::singleShot(300, &window, [&window, &status, shot] {
            if (!window.GrabWithOpenList().save(QString::fromLocal8Bit(shot), "PNG")) {
                std::fprintf(stderr, "quillmark: cannot write %s\n", shot);
                status = 1;
            }
            window.done(0);
        });
    }
    window.exec();
    return status;
}
