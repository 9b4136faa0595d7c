#include "app/qt_window.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <exception>
#include <thread>

namespace qm {

namespace {

QString ToQt(const std::string& s) { return QString::fromStdString(s); }

enum class Kind { kEdit, kButton, kCombo, kProgress, kLabel };

struct TemplateItem {
    int id;  // 0 for a label
    Kind kind;
    const char* text;
    int x, y, w, h;  // dialog units
};

// The template in its order, which is also the tab order. A drop-down list's
// rectangle includes its dropped part; the closed box is as tall as an edit.
constexpr TemplateItem kTemplate[] = {
    {IDC_AUDIO_PATH, Kind::kEdit, "", 74, 30, 161, 14},
    {IDC_IRF_PATH, Kind::kEdit, "", 74, 50, 161, 14},
    {IDC_BROWSE_AUDIO, Kind::kButton, "Browse", 243, 30, 50, 14},
    {IDC_BROWSE_IRF, Kind::kButton, "Browse", 243, 50, 50, 14},
    {IDC_SAMPLE_RATE, Kind::kCombo, "", 74, 68, 161, 66},
    {IDC_START, Kind::kButton, "Start", 243, 88, 50, 14},
    {IDC_EXIT, Kind::kButton, "Exit", 243, 106, 50, 14},
    {IDC_PROGRESS, Kind::kProgress, "", 74, 108, 161, 13},
    {0, Kind::kLabel, "Prompt or Bgsound", 6, 13, 62, 8},
    {IDC_BUILD_TYPE, Kind::kCombo, "", 74, 13, 161, 70},
    {0, Kind::kLabel, "Audio File Path", 6, 33, 62, 8},
    {0, Kind::kLabel, "IRF File Path Name", 6, 53, 62, 8},
    {0, Kind::kLabel, "IRF Sample Rate", 6, 72, 62, 8},
    {0, Kind::kLabel, "Progress", 6, 109, 62, 8},
    {IDC_CODE_TYPE, Kind::kCombo, "", 74, 92, 161, 70},
    {0, Kind::kLabel, "Code Type", 6, 92, 62, 8},
};

constexpr int kDialogWidth = 300;
constexpr int kDialogHeight = 131;
constexpr int kClosedComboHeight = 14;

}  // namespace

CQtDialogWindow::CQtDialogWindow(CQuillmarkDlg& dlg, QWidget* parent) : QDialog(parent), dlg_(dlg) {
    setWindowTitle(QString::fromUtf8(kDialogCaption));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon::fromTheme("quillmark"));

    // Dialog units: a quarter of the average character width across, an
    // eighth of the character height down.
    QFontMetrics fm(font());
    const int extent = fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseX_ = std::max(1, (extent / 26 + 1) / 2);
    baseY_ = std::max(1, fm.height());

    CreateControls();
    setFixedSize(MapDialogRect(0, 0, kDialogWidth, kDialogHeight).size());

    dlg_.Attach(this);
    if (dlg_.OnInitDialog()) Control(IDC_AUDIO_PATH)->setFocus();
}

CQtDialogWindow::~CQtDialogWindow() { dlg_.Attach(nullptr); }

QRect CQtDialogWindow::MapDialogRect(int x, int y, int w, int h) const {
    return QRect(x * baseX_ / 4, y * baseY_ / 8, w * baseX_ / 4, h * baseY_ / 8);
}

void CQtDialogWindow::CreateControls() {
    QFontMetrics fm(font());
    for (const TemplateItem& t : kTemplate) {
        QWidget* w = nullptr;
        QRect r = MapDialogRect(t.x, t.y, t.w, t.h);
        switch (t.kind) {
            case Kind::kEdit:
                w = new QLineEdit(this);
                break;
            case Kind::kButton: {
                auto* b = new QPushButton(ToQt(t.text), this);
                // No button is the default: Enter clicks only a focused button.
                b->setAutoDefault(false);
                const int id = t.id;
                connect(b, &QPushButton::clicked, this,
                        [this, id] { dlg_.OnCommand(id, BN_CLICKED); });
                w = b;
                break;
            }
            case Kind::kCombo: {
                auto* c = new QComboBox(this);
                const int id = t.id;
                connect(c, &QComboBox::activated, this,
                        [this, id] { dlg_.OnCommand(id, CBN_SELCHANGE); });
                r.setHeight(MapDialogRect(0, 0, 0, kClosedComboHeight).height());
                w = c;
                break;
            }
            case Kind::kProgress:
                progress_ = new QProgressBar(this);
                progress_->setTextVisible(false);
                progress_->setRange(0, 100);
                progress_->setValue(0);
                w = progress_;
                break;
            case Kind::kLabel: {
                auto* l = new QLabel(ToQt(t.text), this);
                l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
                // Right-aligned texts may grow to the left in a wider font.
                const int need = fm.horizontalAdvance(l->text()) + 2;
                if (r.width() < need) r.setLeft(std::max(2, r.right() - need));
                r.setHeight(std::max(r.height(), fm.height()));
                w = l;
                break;
            }
        }
        w->setGeometry(r);
        if (t.id != 0) controls_[t.id] = w;
    }
    // Under the bar, in the dialog's bottom margin: what the build is doing
    // (empty while no build runs).
    status_ = new QLabel(this);
    status_->setGeometry(MapDialogRect(74, 122, 161, 8));
    // The rate list only shows the package's rate.
    Control(IDC_SAMPLE_RATE)->setEnabled(false);
}

QWidget* CQtDialogWindow::Control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QComboBox* CQtDialogWindow::Combo(int id) const { return qobject_cast<QComboBox*>(Control(id)); }

std::string CQtDialogWindow::GetItemText(int id) {
    QWidget* w = Control(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
    if (auto* b = qobject_cast<QPushButton*>(w)) return b->text().toStdString();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText().toStdString();
    return std::string();
}

void CQtDialogWindow::SetItemText(int id, const std::string& text) {
    QWidget* w = Control(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(ToQt(text));
    if (auto* b = qobject_cast<QPushButton*>(w)) b->setText(ToQt(text));
}

void CQtDialogWindow::EnableItem(int id, bool enabled) {
    if (QWidget* w = Control(id)) w->setEnabled(enabled);
}

int CQtDialogWindow::InsertListItem(int id, int index, const std::string& text) {
    QComboBox* c = Combo(id);
    if (c == nullptr || index < 0 || index > c->count()) return -1;
    const bool wasEmpty = c->count() == 0;
    c->insertItem(index, ToQt(text));
    // A list starts with nothing selected; Qt would select its first item.
    if (wasEmpty) c->setCurrentIndex(-1);
    return index;
}

bool CQtDialogWindow::SetListItemData(int id, int index, int32_t data) {
    QComboBox* c = Combo(id);
    if (c == nullptr || index < 0 || index >= c->count()) return false;
    c->setItemData(index, data);
    return true;
}

int CQtDialogWindow::GetListCount(int id) {
    QComboBox* c = Combo(id);
    return c ? c->count() : 0;
}

int32_t CQtDialogWindow::GetListItemData(int id, int index) {
    QComboBox* c = Combo(id);
    if (c == nullptr || index < 0 || index >= c->count()) return -1;
    bool ok = false;
    int32_t v = c->itemData(index).toInt(&ok);
    return ok ? v : -1;
}

int CQtDialogWindow::GetListSelection(int id) {
    QComboBox* c = Combo(id);
    return c ? c->currentIndex() : -1;
}

void CQtDialogWindow::SetListSelection(int id, int index) {
    if (QComboBox* c = Combo(id)) c->setCurrentIndex(index);
}

void CQtDialogWindow::SetProgressRange(int low, int high) {
    progressLow_ = low;
    progressHigh_ = high;
    progress_->setRange(low, high);
}

void CQtDialogWindow::SetProgressPos(int pos) {
    pos = std::clamp(pos, progressLow_.load(), std::max(progressLow_.load(), progressHigh_.load()));
    progressPos_ = pos;
    if (QThread::currentThread() == thread()) {
        progress_->setValue(pos);
    } else {
        // From the build's thread: the bar is repainted by the window's loop.
        QProgressBar* bar = progress_;
        QMetaObject::invokeMethod(
            bar, [bar, pos] { bar->setValue(pos); }, Qt::QueuedConnection);
    }
}

int CQtDialogWindow::GetProgressPos() { return progressPos_; }

void CQtDialogWindow::SetStatusText(const std::string& text) {
    QLabel* label = status_;
    const QString t = ToQt(text);
    if (QThread::currentThread() == thread()) {
        label->setText(t);
    } else {
        QMetaObject::invokeMethod(
            label, [label, t] { label->setText(t); }, Qt::QueuedConnection);
    }
}

void CQtDialogWindow::ShowMessage(const std::string& text) { ShowDetailedMessage(text, {}); }

void CQtDialogWindow::ShowDetailedMessage(const std::string& text,
                                          const std::vector<std::string>& detail) {
    QMessageBox box(QMessageBox::NoIcon, QString(), ToQt(text), QMessageBox::Ok, this);
    if (!detail.empty()) {
        std::string lines;
        for (const std::string& line : detail) lines += line + "\n";
        lines.pop_back();
        box.setDetailedText(ToQt(lines));
    }
    box.exec();
}

FolderChoice CQtDialogWindow::BrowseForFolder(const std::string& title) {
    QFileDialog fd(this, ToQt(title));
    fd.setFileMode(QFileDialog::Directory);
    fd.setOption(QFileDialog::ShowDirsOnly);
    if (fd.exec() != QDialog::Accepted || fd.selectedUrls().isEmpty()) return {};
    const QUrl url = fd.selectedUrls().first();
    if (!url.isLocalFile()) return {FolderChoice::kNoPath, std::string()};
    return {FolderChoice::kChosen, QFile::encodeName(url.toLocalFile()).toStdString()};
}

std::optional<std::string> CQtDialogWindow::GetOpenFileName(const std::string& title,
                                                            const std::string& filterName,
                                                            const std::string& filterPattern) {
    QFileDialog fd(this, ToQt(title));
    fd.setFileMode(QFileDialog::ExistingFile);
    fd.setNameFilter(ToQt(filterName + " (" + filterPattern + ")"));
    if (fd.exec() != QDialog::Accepted || fd.selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(fd.selectedFiles().first()).toStdString();
}

void CQtDialogWindow::CenterWindow() {
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (s == nullptr) return;
    const QRect area = s->availableGeometry();
    const QSize size = frameGeometry().size();
    QPoint p = area.center() - QPoint(size.width() / 2, size.height() / 2);
    // Kept inside the work area, its left and top edges first.
    p.setX(std::max(area.left(), std::min(p.x(), area.right() + 1 - size.width())));
    p.setY(std::max(area.top(), std::min(p.y(), area.bottom() + 1 - size.height())));
    move(p);
}

void CQtDialogWindow::EndDialog(int result) { done(result); }

bool CQtDialogWindow::RunBuild(const std::function<bool()>& build) {
    // The build runs on its own thread while this one keeps painting; input
    // is held back and the logic ignores commands, so nothing else runs
    // beside the build (it owns the process's current directory).
    bool result = false;
    QEventLoop loop;
    std::thread worker([&] {
        try {
            result = build();
        } catch (...) {
            result = false;
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    return result;
}

void CQtDialogWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    dlg_.OnClose();
}

void CQtDialogWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            // Escape does not end this dialog; only Exit and the close button do.
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (auto* b = qobject_cast<QPushButton*>(focusWidget()); b && b->isEnabled())
                b->animateClick();
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

QPixmap CQtDialogWindow::GrabWithOpenList() {
    QComboBox* list = Combo(IDC_BUILD_TYPE);
    list->showPopup();
    QApplication::processEvents();
    QWidget* popup = list->view()->window();
    const QPixmap dialog = grab();
    const QPixmap dropped = popup->grab();
    const QPoint at = popup->mapToGlobal(QPoint(0, 0)) - mapToGlobal(QPoint(0, 0));
    const QRect all = QRect(QPoint(0, 0), dialog.size()).united(QRect(at, dropped.size()));
    QPixmap out(all.size());
    out.fill(palette().color(QPalette::Window));
    QPainter painter(&out);
    painter.drawPixmap(-all.topLeft(), dialog);
    painter.drawPixmap(at - all.topLeft(), dropped);
    painter.end();
    list->hidePopup();
    return out;
}

}  // namespace qm
