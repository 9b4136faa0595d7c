// The dialog's Qt window: the template's controls laid out in dialog units of
// the font in use, and the DialogView services (lists, progress bar, message
// boxes, file dialogs) on Qt Widgets.
#pragma once

#include <QDialog>
#include <QRect>
#include <atomic>
#include <map>

#include "app/dialog.h"

class QComboBox;
class QPixmap;
class QProgressBar;
class QLabel;

namespace qm {

class CQtDialogWindow : public QDialog, public DialogView {
  public:
    // Builds the controls, attaches the logic and runs its OnInitDialog.
    explicit CQtDialogWindow(CQuillmarkDlg& dlg, QWidget* parent = nullptr);
    ~CQtDialogWindow() override;

    // The control with a template id (nullptr for an unknown id).
    QWidget* Control(int id) const;

    // Converts a rectangle in dialog units to pixels for the dialog's font.
    QRect MapDialogRect(int x, int y, int w, int h) const;

    // The window as drawn, with the build-type list dropped down (for the
    // documentation's screenshot).
    QPixmap GrabWithOpenList();

    // DialogView.
    std::string GetItemText(int id) override;
    void SetItemText(int id, const std::string& text) override;
    void EnableItem(int id, bool enabled) override;
    int InsertListItem(int id, int index, const std::string& text) override;
    bool SetListItemData(int id, int index, int32_t data) override;
    int GetListCount(int id) override;
    int32_t GetListItemData(int id, int index) override;
    int GetListSelection(int id) override;
    void SetListSelection(int id, int index) override;
    void SetProgressRange(int low, int high) override;
    void SetProgressPos(int pos) override;
    void SetStatusText(const std::string& text) override;
    int GetProgressPos() override;
    void ShowMessage(const std::string& text) override;
    void ShowDetailedMessage(const std::string& text,
                             const std::vector<std::string>& detail) override;
    FolderChoice BrowseForFolder(const std::string& title) override;
    std::optional<std::string> GetOpenFileName(const std::string& title,
                                               const std::string& filterName,
                                               const std::string& filterPattern) override;
    void CenterWindow() override;
    void EndDialog(int result) override;
    bool RunBuild(const std::function<bool()>& build) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void CreateControls();
    QComboBox* Combo(int id) const;

    CQuillmarkDlg& dlg_;
    std::map<int, QWidget*> controls_;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    int baseX_ = 6;   // average character width
    int baseY_ = 13;  // character height
    std::atomic<int> progressPos_{0};
    std::atomic<int> progressLow_{0};
    std::atomic<int> progressHigh_{100};
};

}  // namespace qm
