// The real dialog window under Qt Test: its lists, its layout, choosing a
// package, and a whole Code1 build started with the Start button while the
// test answers the file dialogs and the message box.
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "app/dialog.h"
#include "app/qt_window.h"
#include "common/testutil.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "resfile/package.h"

namespace fs = std::filesystem;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Polls the event loop (which keeps running inside modal dialogs) for a
// modal widget of type T and hands it to answer until answer returns true.
template <typename T>
void AnswerNextModal(std::function<bool(T*)> answer) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (T* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
            if (!answer(w)) return;
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// Types path into the next file dialog's name box and accepts it; repeated
// until the dialog has taken it (it lists its folder in the background).
void AnswerFileDialog(const std::string& path) {
    AnswerNextModal<QFileDialog>([path](QFileDialog* fd) {
        auto* name = fd->findChild<QLineEdit*>("fileNameEdit");
        if (name == nullptr) return false;
        name->setText(Q(path));
        static_cast<QDialog*>(fd)->accept();  // QFileDialog::accept is protected
        return !fd->isVisible();
    });
}

// What the result's message box showed, and the window meanwhile.
struct Outcome {
    bool seen = false;
    QString text;
    QString detail;
    bool stillVisibleAfterClose = false;
};

void AnswerMessageBox(qm::CQtDialogWindow& window, Outcome& out) {
    AnswerNextModal<QMessageBox>([&window, &out](QMessageBox* box) {
        if (!box->isVisible()) return false;
        out.seen = true;
        out.text = box->text();
        out.detail = box->detailedText();
        // Closing the window is refused until the result has been read.
        window.close();
        out.stillVisibleAfterClose = window.isVisible();
        box->button(QMessageBox::Ok)->click();
        return true;
    });
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        // The test answers Qt's own dialogs; a desktop's native ones are out
        // of its reach.
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        startDir_ = fs::current_path().string();
    }
    void cleanup() { fs::current_path(startDir_); }

    void listsAndLayout() {
        qm::CQuillmarkDlg dlg;
        qm::CQtDialogWindow window(dlg);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QString("Prompt&Bgsound_Quillmark"));

        // The lists' texts, data and selections are the logic's (tests/app);
        // here, that the combo boxes show them.
        auto combo = [&](int id) { return qobject_cast<QComboBox*>(window.Control(id)); };
        QCOMPARE(combo(qm::IDC_SAMPLE_RATE)->itemText(3), QString("8kHz  16bit"));
        QCOMPARE(combo(qm::IDC_SAMPLE_RATE)->currentIndex(), -1);
        QVERIFY(!combo(qm::IDC_SAMPLE_RATE)->isEnabled());
        QVERIFY(window.Control(qm::IDC_AUDIO_PATH)->hasFocus());

        // Neither Enter in a box nor Escape does anything; Enter on a focused
        // button clicks it.
        for (int id : {qm::IDC_BROWSE_AUDIO, qm::IDC_BROWSE_IRF, qm::IDC_START, qm::IDC_EXIT})
            QVERIFY(!qobject_cast<QPushButton*>(window.Control(id))->isDefault());
        QTest::keyClick(window.Control(qm::IDC_AUDIO_PATH), Qt::Key_Return);
        QTest::keyClick(window.Control(qm::IDC_AUDIO_PATH), Qt::Key_Escape);
        QVERIFY(window.isVisible());
        QVERIFY(QApplication::activeModalWidget() == nullptr);

        // Choosing with the keyboard is a selection change for the logic.
        combo(qm::IDC_CODE_TYPE)->setFocus();
        QTest::keyClick(combo(qm::IDC_CODE_TYPE), Qt::Key_Down);
        QCOMPARE(dlg.CodeType(), 1);

        window.Control(qm::IDC_EXIT)->setFocus();
        QTest::keyClick(window.Control(qm::IDC_EXIT), Qt::Key_Return);
        QTRY_VERIFY(!window.isVisible());

        // Every control lies inside the window and none covers another.
        const QList<int> ids = {qm::IDC_AUDIO_PATH, qm::IDC_IRF_PATH,    qm::IDC_BROWSE_AUDIO,
                                qm::IDC_BROWSE_IRF, qm::IDC_SAMPLE_RATE, qm::IDC_START,
                                qm::IDC_EXIT,       qm::IDC_PROGRESS,    qm::IDC_CODE_TYPE,
                                qm::IDC_BUILD_TYPE};
        for (int a : ids) {
            const QRect ra = window.Control(a)->geometry();
            QVERIFY2(window.rect().contains(ra), qPrintable(QString::number(a)));
            for (int b : ids)
                if (a < b)
                    QVERIFY2(!ra.intersects(window.Control(b)->geometry()),
                             qPrintable(QString("%1 %2").arg(a).arg(b)));
        }
    }

    void fullCode1BuildFromStart() {
        qmtest::TempDir dir;
        const std::string audio = dir / "audio";
        qmtest::WriteFile(audio + "/p.wav",
                          qmtest::WavBytes(qmtest::ToneSamples(4000, 8000.0), 16000));
        qmtest::WriteFile(audio + "/TextList.txt", qm::Utf8ToCp936("提示") + "\r\n");
        qmtest::WriteFile(audio + "/WaveList.txt", "p.wav\r\n");
        const std::string pkg = dir / "in.irf";
        QVERIFY(qm::WritePackage(pkg, {{qm::kPromptIndexId, qm::EmptyTextIndexBlock()},
                                       {qm::kPromptClipId, qm::EmptyClipContainer(16000)}}));

        qm::CQuillmarkDlg dlg;
        qm::CQtDialogWindow window(dlg);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        AnswerFileDialog(audio);
        QTest::mouseClick(window.Control(qm::IDC_BROWSE_AUDIO), Qt::LeftButton);
        QCOMPARE(qobject_cast<QLineEdit*>(window.Control(qm::IDC_AUDIO_PATH))->text(), Q(audio));
        AnswerFileDialog(pkg);
        QTest::mouseClick(window.Control(qm::IDC_BROWSE_IRF), Qt::LeftButton);
        QCOMPARE(qobject_cast<QComboBox*>(window.Control(qm::IDC_SAMPLE_RATE))->currentData(),
                 QVariant(16000));

        // The bar is moved on the window's thread, in the build's order.
        auto* bar = qobject_cast<QProgressBar*>(window.Control(qm::IDC_PROGRESS));
        QList<int> positions;
        bool offThread = false;
        connect(bar, &QProgressBar::valueChanged, this, [&](int v) {
            positions << v;
            offThread |= QThread::currentThread() != qApp->thread();
        });

        Outcome outcome;
        AnswerMessageBox(window, outcome);
        QTest::mouseClick(window.Control(qm::IDC_START), Qt::LeftButton);

        QVERIFY(outcome.seen);
        QCOMPARE(outcome.text, QString::fromUtf8("The new IRF has been generated，it located in ") +
                                   Q(audio) + "/in.irf");
        QVERIFY(outcome.stillVisibleAfterClose);
        QCOMPARE(positions.first(), 10);
        QCOMPARE(positions.last(), 100);
        QVERIFY(std::is_sorted(positions.begin(), positions.end()));
        QVERIFY(!offThread);

        QCOMPARE(qobject_cast<QPushButton*>(window.Control(qm::IDC_START))->text(),
                 QString("Start"));

        // The package's bytes are the command line's (tests/e2e); here, that
        // the build ran.
        QVERIFY(fs::file_size(audio + "/in.irf") > fs::file_size(pkg));
        QVERIFY(outcome.detail.isEmpty());

        // A refusal's detail is the box's detailed text.
        qobject_cast<QLineEdit*>(window.Control(qm::IDC_AUDIO_PATH))->setText(Q(dir / "none"));
        Outcome refused;
        AnswerMessageBox(window, refused);
        QTest::mouseClick(window.Control(qm::IDC_START), Qt::LeftButton);
        QCOMPARE(refused.text, QString("The audio file path is incorrect, please re-set it!"));
        QCOMPARE(refused.detail.split('\n').first(), Q("in " + dir / "none"));

        QTest::mouseClick(window.Control(qm::IDC_EXIT), Qt::LeftButton);
        QVERIFY(!window.isVisible());
    }

  private:
    std::string startDir_;
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
