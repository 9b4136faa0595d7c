#include "app/dialog.h"

#include "driver/build_types.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace qm {

namespace {

struct StringEntry {
    int id;
    const char* text;
};

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
    // The list texts are those of the build-type, code-type and rate tables,
    // whose entries the string ids number in table order.
    if (id >= IDS_RATE_8K && id < IDS_RATE_8K + static_cast<int>(Rates().size()))
        return Rates()[id - IDS_RATE_8K].text;
    if (id >= IDS_CODE1 && id < IDS_CODE1 + static_cast<int>(CodeTypes().size()))
        return CodeTypes()[id - IDS_CODE1].name;
    if (id >= IDS_BUILD_PROMPT && id < IDS_BUILD_PROMPT + static_cast<int>(BuildTypes().size()))
        return BuildTypes()[id - IDS_BUILD_PROMPT].label;
    static constexpr StringEntry kStrings[] = {
        {IDS_SELECT_IRF, "Select IRF file"},
        {IDS_SPECIFY_AUDIO, "Specify audio file path"},
    };
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

CQuillmarkDlg::CQuillmarkDlg() : runner_(RunCheckedRequest), startDir_(GetCurrentDir()) {}

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

void CQuillmarkDlg::Progress::SetPos(int pos) {
    stage_.EndFinished();
    dlg_.view_->SetStatusText(stage_.Text());
    dlg_.SetBuildProgress(pos);
}

void CQuillmarkDlg::Progress::SetStage(const char* stage, uint64_t done, uint64_t total) {
    if (stage_.Update(stage, done, total)) dlg_.view_->SetStatusText(stage_.Text());
}

void CQuillmarkDlg::Progress::Reset() {
    stage_ = StageText();
    dlg_.view_->SetStatusText("");
}

bool CQuillmarkDlg::OnInitDialog() {
    const int buildTypes = static_cast<int>(BuildTypes().size());
    for (int k = 0; k < buildTypes; ++k)
        AddListItem(IDC_BUILD_TYPE, k, IDS_BUILD_PROMPT + k, BuildTypes()[k].type);
    view_->SetListSelection(IDC_BUILD_TYPE, 0);

    const int codeTypes = static_cast<int>(CodeTypes().size());
    for (int k = 0; k < codeTypes; ++k)
        AddListItem(IDC_CODE_TYPE, k, IDS_CODE1 + k, CodeTypes()[k].type);
    view_->SetListSelection(IDC_CODE_TYPE, 0);

    // Highest rate first; nothing is selected until a package has been read.
    const int rates = static_cast<int>(Rates().size());
    for (int k = 0; k < rates; ++k) {
        const int r = rates - 1 - k;
        AddListItem(IDC_SAMPLE_RATE, k, IDS_RATE_8K + r, Rates()[r].hz);
    }
    view_->SetListSelection(IDC_SAMPLE_RATE, -1);

    view_->SetProgressRange(0, 100);
    view_->CenterWindow();
    return true;
}

std::string CQuillmarkDlg::Resolve(const std::string& path) const {
    return startDir_.empty() ? path : ResolvePath(startDir_, path);
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
    // The audio folder box is read at every Start that has a package path.
    if (packagePath_.empty()) packagePath_ = Resolve(view_->GetItemText(IDC_IRF_PATH));
    if (!packagePath_.empty()) audioFolder_ = view_->GetItemText(IDC_AUDIO_PATH);

    BuildRequest request;
    request.buildType = buildType_;
    request.codeType = codeType_;
    request.audioFolder = audioFolder_;
    request.packagePath = packagePath_;
    request.baseDir = startDir_;
    CheckedRequest checked;
    if (std::optional<Failure> refused = CheckRequest(request, checked)) {
        view_->ShowDetailedMessage(refused->message, refused->detail);
        return false;
    }

    Failure failure;
    const bool ok = view_->RunBuild([&] { return runner_(checked, &progress_, failure); });
    progress_.Reset();
    if (ok) {
        view_->ShowMessage(SuccessMessage(checked));
    } else {
        view_->ShowDetailedMessage(failure.message, failure.detail);
    }
    return !ok;
}

}  // namespace qm
