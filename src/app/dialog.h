// The main dialog's logic: its fields, its handlers and the command table.
// It knows nothing of any window toolkit; a window layer implements DialogView
// and forwards the user's commands to CQuillmarkDlg::OnCommand.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "driver/package_build.h"
#include "driver/request.h"
#include "platform/failure.h"
#include "platform/progress.h"

namespace qm {

// Control ids of the dialog template.
enum DialogControl : int {
    IDC_AUDIO_PATH = 1002,
    IDC_IRF_PATH = 1003,
    IDC_BROWSE_AUDIO = 1005,
    IDC_BROWSE_IRF = 1006,
    IDC_SAMPLE_RATE = 1008,
    IDC_START = 1009,
    IDC_EXIT = 1010,
    IDC_PROGRESS = 1011,
    IDC_CODE_TYPE = 1012,
    IDC_BUILD_TYPE = 1013,
};

// Notification codes of a command: a button clicked, a list's selection changed.
enum DialogNotification : int {
    BN_CLICKED = 0,
    CBN_SELCHANGE = 1,
};

// String-table ids.
enum DialogString : int {
    IDS_RATE_8K = 2001,
    IDS_RATE_11K = 2002,
    IDS_RATE_16K = 2003,
    IDS_RATE_22K = 2004,
    IDS_CODE1 = 2011,
    IDS_CODE2 = 2012,
    IDS_CODE3 = 2013,
    IDS_CODE4 = 2014,
    IDS_BUILD_PROMPT = 2016,
    IDS_BUILD_BGSOUND = 2017,
    IDS_BUILD_ROLE = 2018,
    IDS_SELECT_IRF = 2020,
    IDS_SPECIFY_AUDIO = 2021,
};

// The text of a string-table entry ("" for an unknown id).
const char* LoadDialogString(int id);

// The dialog's caption.
inline constexpr const char* kDialogCaption = "Prompt&Bgsound_Quillmark";

// What the folder browser gave back.
struct FolderChoice {
    enum Kind {
        kChosen,     // a folder with a file-system path
        kCancelled,  // the user closed the browser without choosing
        kNoPath,     // a location that has no file-system path
    };
    Kind kind = kCancelled;
    std::string path;  // UTF-8, set for kChosen
};

// The window as the dialog's logic sees it. List functions take the id of a
// drop-down list; an index of -1 means "no item".
class DialogView {
  public:
    virtual ~DialogView() = default;

    virtual std::string GetItemText(int id) = 0;
    virtual void SetItemText(int id, const std::string& text) = 0;
    virtual void EnableItem(int id, bool enabled) = 0;

    // Inserts an item at index (0..count); returns its index, or -1 when
    // nothing was inserted.
    virtual int InsertListItem(int id, int index, const std::string& text) = 0;
    virtual bool SetListItemData(int id, int index, int32_t data) = 0;
    virtual int GetListCount(int id) = 0;
    virtual int32_t GetListItemData(int id, int index) = 0;
    virtual int GetListSelection(int id) = 0;
    virtual void SetListSelection(int id, int index) = 0;

    virtual void SetProgressRange(int low, int high) = 0;
    // May be called from the thread that runs a build.
    virtual void SetProgressPos(int pos) = 0;
    // The status line under the bar: what the build is doing ("" clears it).
    virtual void SetStatusText(const std::string& text) { (void)text; }
    virtual int GetProgressPos() = 0;

    // A message box with an empty caption and one OK button; returns when
    // the user has closed it.
    virtual void ShowMessage(const std::string& text) = 0;
    // A message box with detail lines behind it (the box's detailed text);
    // without detail it is ShowMessage.
    virtual void ShowDetailedMessage(const std::string& text,
                                     const std::vector<std::string>& detail) {
        (void)detail;
        ShowMessage(text);
    }
    virtual FolderChoice BrowseForFolder(const std::string& title) = 0;
    // The open-file dialog for an existing file; nullopt when cancelled.
    virtual std::optional<std::string> GetOpenFileName(const std::string& title,
                                                       const std::string& filterName,
                                                       const std::string& filterPattern) = 0;

    // Centres the window on its screen's work area.
    virtual void CenterWindow() = 0;
    virtual void EndDialog(int result) = 0;

    // Runs a build to completion and returns its result. While it runs the
    // window keeps painting (the progress bar included) but takes no input;
    // a view may run it on another thread.
    virtual bool RunBuild(const std::function<bool()>& build) = 0;
};

// Carries out the build of a checked request; the default is RunCheckedRequest.
using BuildRunner =
    std::function<bool(const CheckedRequest& request, ProgressSink* progress, Failure& failure)>;

class CQuillmarkDlg {
  public:
    CQuillmarkDlg();

    // Connects the window; must be called before OnInitDialog.
    void Attach(DialogView* view) { view_ = view; }
    void SetBuildRunner(BuildRunner runner) { runner_ = std::move(runner); }

    bool OnInitDialog();
    void OnBrowseAudioFolder();
    void OnBrowsePackage();
    void OnStart();

    // A command from a control: looked up in the command table. Returns
    // false when the command is not handled (and while a build is under way,
    // when the dialog takes no commands at all).
    bool OnCommand(int id, int code);
    // The window's close button.
    void OnClose();

    void AddListItem(int listId, int index, int stringId, int32_t data);
    void SetStartButton(const std::string& text, bool enabled);
    void SetBuildProgress(int pos);

    bool IsBuilding() const { return building_; }
    const std::string& AudioFolder() const { return audioFolder_; }
    const std::string& PackagePath() const { return packagePath_; }
    int32_t CodeType() const { return codeType_; }
    int32_t BuildType() const { return buildType_; }

  private:
    struct CommandEntry;
    static const CommandEntry kCommands[];

    void OnExit();
    void OnSampleRateChange() {}
    void OnCodeTypeChange();
    void OnBuildTypeChange();
    // Checks the request, runs the build and shows its outcome; true when a
    // build ran and failed.
    bool StartBuild();

    // A typed relative path is taken relative to the folder the program
    // started in, not to wherever the last build left the current directory.
    std::string Resolve(const std::string& path) const;

    // The progress bar as the build driver sees it.
    class Progress : public ProgressSink {
      public:
        explicit Progress(CQuillmarkDlg& dlg) : dlg_(dlg) {}
        int GetPos() const override;
        void SetPos(int pos) override;
        void SetStage(const char* stage, uint64_t done, uint64_t total) override;
        // Clears the status line after a build.
        void Reset();

      private:
        CQuillmarkDlg& dlg_;
        StageText stage_;
    };

    DialogView* view_ = nullptr;
    std::string audioFolder_;
    std::string packagePath_;
    int32_t codeType_ = 0;
    int32_t buildType_ = 0;
    CPackageBuild rateProbe_;

    Progress progress_{*this};
    BuildRunner runner_;
    std::string startDir_;
    bool building_ = false;
};

}  // namespace qm
