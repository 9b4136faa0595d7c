#include "app/dialog.h"

#include "platform/fs.h"
#include "platform/text.h"

namespace qm {

namespace {

struct StringEntry {
    int id;
    const char* text;
};

constexpr StringEntry kStrings[] = {
    {IDS_RATE_8K, "8kHz  16bit"},
    {IDS_RATE_11K, "11kHz 16bit"},
    {IDS_RATE_16K, "16kHz 16bit"},
    {IDS_RATE_22K, "22kHz 16bit"},
    {IDS_CODE1, "Code1"},
    {IDS_CODE2, "Code2"},
    {IDS_CODE3, "Code3"},
    {IDS_CODE4, "Code4"},
    {IDS_BUILD_PROMPT, "打包提示音资源"},
    {IDS_BUILD_BGSOUND, "打包背景音资源"},
    {IDS_BUILD_ROLE, "打包发音人提示音资源"},
    {IDS_SELECT_IRF, "Select IRF file"},
    {IDS_SPECIFY_AUDIO, "Specify audio file path"},
};

bool DefaultRunner(int buildType, const std::string& audioFolder, const std::string& packagePath,
                   int codeType, ProgressSink* progress, std::string& err) {
    CPackageBuild build;
    build.SetProgress(progress);
    return build.Run(buildType, audioFolder, packagePath, codeType, err);
}

// Clears a flag when the scope ends, however it ends.
class FlagScope {
  public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

  private:
    bool& flag_;
};

}  // namespace

const char* LoadDialogString(int id) {
    for (const StringEntry& e : kStrings)
        if (e.id == id) return e.text;
    return "";
}

struct CQuillmarkDlg::CommandEntry {
    int id;
    int code;
    void (CQuillmarkDlg::*handler)();
};

const CQuillmarkDlg::CommandEntry CQuillmarkDlg::kCommands[] = {
    {IDC_BROWSE_AUDIO, BN_CLICKED, &CQuillmarkDlg::OnBrowseAudioFolder},
    {IDC_BROWSE_IRF, BN_CLICKED, &CQuillmarkDlg::OnBrowsePackage},
    {IDC_SAMPLE_RATE, CBN_SELCHANGE, &CQuillmarkDlg::OnSampleRateChange},
    {IDC_START, BN_CLICKED, &CQuillmarkDlg::OnStart},
    {IDC_EXIT, BN_CLICKED, &CQuillmarkDlg::OnExit},
    {IDC_CODE_TYPE, CBN_SELCHANGE, &CQuillmarkDlg::OnCodeTypeChange},
    {IDC_BUILD_TYPE, CBN_SELCHANGE, &CQuillmarkDlg::OnBuildTypeChange},
};

CQuillmarkDlg::CQuillmarkDlg() : runner_(DefaultRunner), startDir_(GetCurrentDir()) {}

bool CQuillmarkDlg::OnCommand(int id, int code) {
    // While a build runs (and while its result is shown) the dialog is inert:
    // the build owns the current directory and the Start button.
    if (building_ || view_ == nullptr) return false;
    for (const CommandEntry& c : kCommands) {
        if (c.id == id && c.code == code) {
            (this->*c.handler)();
            return true;
        }
    }
    return false;
}

void CQuillmarkDlg::OnClose() {
    if (building_ || view_ == nullptr) return;
    view_->EndDialog(0);
}

void CQuillmarkDlg::OnExit() { view_->EndDialog(0); }

void CQuillmarkDlg::OnCodeTypeChange() {
    int sel = view_->GetListSelection(IDC_CODE_TYPE);
    if (sel >= 0) codeType_ = view_->GetListItemData(IDC_CODE_TYPE, sel);
}

void CQuillmarkDlg::OnBuildTypeChange() {
    int sel = view_->GetListSelection(IDC_BUILD_TYPE);
    if (sel >= 0) buildType_ = view_->GetListItemData(IDC_BUILD_TYPE, sel);
}

void CQuillmarkDlg::AddListItem(int listId, int index, int stringId, int32_t data) {
    int pos = view_->InsertListItem(listId, index, LoadDialogString(stringId));
    if (pos >= 0) view_->SetListItemData(listId, pos, data);
}

void CQuillmarkDlg::SetStartButton(const std::string& text, bool enabled) {
    view_->SetItemText(IDC_START, text);
    view_->EnableItem(IDC_START, enabled);
}

void CQuillmarkDlg::SetBuildProgress(int pos) { view_->SetProgressPos(pos); }

int CQuillmarkDlg::Progress::GetPos() const { return dlg_.view_->GetProgressPos(); }

void CQuillmarkDlg::Progress::SetPos(int pos) { dlg_.SetBuildProgress(pos); }

bool CQuillmarkDlg::OnInitDialog() {
    AddListItem(IDC_BUILD_TYPE, 0, IDS_BUILD_PROMPT, 0);
    AddListItem(IDC_BUILD_TYPE, 1, IDS_BUILD_BGSOUND, 1);
    AddListItem(IDC_BUILD_TYPE, 2, IDS_BUILD_ROLE, 2);
    view_->SetListSelection(IDC_BUILD_TYPE, 0);

    AddListItem(IDC_CODE_TYPE, 0, IDS_CODE1, 0);
    AddListItem(IDC_CODE_TYPE, 1, IDS_CODE2, 1);
    AddListItem(IDC_CODE_TYPE, 2, IDS_CODE3, 2);
    AddListItem(IDC_CODE_TYPE, 3, IDS_CODE4, 3);
    view_->SetListSelection(IDC_CODE_TYPE, 0);

    // Highest rate first; nothing is selected until a package has been read.
    AddListItem(IDC_SAMPLE_RATE, 0, IDS_RATE_22K, 22050);
    AddListItem(IDC_SAMPLE_RATE, 1, IDS_RATE_16K, 16000);
    AddListItem(IDC_SAMPLE_RATE, 2, IDS_RATE_11K, 11025);
    AddListItem(IDC_SAMPLE_RATE, 3, IDS_RATE_8K, 8000);
    view_->SetListSelection(IDC_SAMPLE_RATE, -1);

    view_->SetProgressRange(0, 100);
    view_->CenterWindow();
    return true;
}

std::string CQuillmarkDlg::Resolve(const std::string& path) const {
    if (path.empty() || path.front() == '/' || startDir_.empty()) return path;
    return JoinPath(startDir_, path);
}

void CQuillmarkDlg::OnBrowseAudioFolder() {
    FolderChoice choice = view_->BrowseForFolder(LoadDialogString(IDS_SPECIFY_AUDIO));
    if (choice.kind == FolderChoice::kChosen) {
        view_->SetItemText(IDC_AUDIO_PATH, choice.path);
        audioFolder_ = choice.path;
    }
    // Checked even when nothing was chosen: the stored folder may have gone.
    if (!audioFolder_.empty() && !PathIsDirectory(Resolve(audioFolder_)))
        view_->ShowMessage(Format("%s is not a valid path!", audioFolder_.c_str()));
}

void CQuillmarkDlg::OnBrowsePackage() {
    std::optional<std::string> chosen =
        view_->GetOpenFileName(LoadDialogString(IDS_SELECT_IRF), "IRF", "*.irf");
    if (!chosen) return;
    view_->SetItemText(IDC_IRF_PATH, *chosen);
    packagePath_ = Resolve(*chosen);

    // A refused package stays chosen; the rate list keeps what it showed.
    std::string err;
    if (!rateProbe_.clipSet.OpenPackage(buildType_, packagePath_, err)) {
        view_->ShowMessage(err);
        return;
    }
    const int count = view_->GetListCount(IDC_SAMPLE_RATE);
    for (int i = 0; i < count; ++i) {
        if (view_->GetListItemData(IDC_SAMPLE_RATE, i) == rateProbe_.clipSet.sampleRate) {
            view_->SetListSelection(IDC_SAMPLE_RATE, i);
            break;
        }
    }
}

void CQuillmarkDlg::OnStart() {
    FlagScope busy(building_);
    SetStartButton("Buildig...", false);
    const bool failedBuild = StartBuild();
    // The button comes back only after the result's message box has been
    // closed; a failed build's progress is cleared after that.
    SetStartButton("Start", true);
    if (failedBuild) SetBuildProgress(0);
}

bool CQuillmarkDlg::StartBuild() {
    // The package path is read from its box only while none is held; once a
    // package has been chosen (or taken at a Start) only Browse replaces it.
    if (packagePath_.empty()) packagePath_ = Resolve(view_->GetItemText(IDC_IRF_PATH));
    if (packagePath_.empty()) {
        view_->ShowMessage("Please select an original IRF file！");
        return false;
    }
    audioFolder_ = view_->GetItemText(IDC_AUDIO_PATH);
    if (audioFolder_.empty()) {
        view_->ShowMessage("Please specify audio file path！");
        return false;
    }
    const std::string audio = Resolve(audioFolder_);
    if (!PathIsDirectory(audio)) {
        view_->ShowMessage("The audio file path is incorrect, please re-set it!");
        return false;
    }
    if (!PathFileExists(packagePath_) || PathIsDirectory(packagePath_)) {
        view_->ShowMessage("IRF file path name is incorrect, please re-set it!");
        return false;
    }
    // A folder that cannot be entered is refused as well: the build reads its
    // lists from the current directory and would otherwise read another
    // folder's.
    if (!SetCurrentDir(audio)) {
        view_->ShowMessage("The audio file path is incorrect, please re-set it!");
        return false;
    }

    std::string err;
    const int buildType = buildType_;
    const int codeType = codeType_;
    const std::string package = packagePath_;
    const bool ok = view_->RunBuild(
        [&] { return runner_(buildType, audio, package, codeType, &progress_, err); });
    if (ok) {
        view_->ShowMessage(Format("The new IRF has been generated，it located in %s/%s",
                                  audio.c_str(), PathFindFileName(package).c_str()));
        return false;
    }
    view_->ShowMessage(err);
    return true;
}

}  // namespace qm
