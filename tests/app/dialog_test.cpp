// The dialog's logic over a scripted view: lists, Browse handlers, the order
// of Start's refusals, what a build is given and what the user sees after it.
#include "app/dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <map>

#include "common/testutil.h"
#include "platform/fs.h"
#include "resfile/package.h"

namespace fs = std::filesystem;
using namespace qmtest;

namespace {

// A view that keeps every control's state, answers the browsers from queues
// and records each message box with the state the window had meanwhile.
class FakeView : public qm::DialogView {
  public:
    struct Shown {
        std::string text;
        std::string startText;
        bool startEnabled;
        int progress;
        std::vector<std::string> detail = {};
    };
    struct Item {
        std::string text;
        int32_t data = -1;
    };

    std::map<int, std::string> text;
    std::map<int, bool> enabled;
    std::map<int, std::vector<Item>> lists;
    std::map<int, int> selection;
    int progress = 0, low = -1, high = -1;
    std::vector<std::string> statuses;
    std::vector<Shown> shown;
    std::deque<qm::FolderChoice> folders;
    std::deque<std::optional<std::string>> files;
    std::vector<std::string> titles;
    std::string filterName, filterPattern;
    bool centred = false;
    std::optional<int> ended;
    std::function<void()> duringBuild;

    std::string GetItemText(int id) override { return text[id]; }
    void SetItemText(int id, const std::string& t) override { text[id] = t; }
    void EnableItem(int id, bool e) override { enabled[id] = e; }
    int InsertListItem(int id, int index, const std::string& t) override {
        auto& l = lists[id];
        if (index < 0 || index > static_cast<int>(l.size())) return -1;
        l.insert(l.begin() + index, Item{t});
        if (!selection.count(id)) selection[id] = -1;
        return index;
    }
    bool SetListItemData(int id, int index, int32_t data) override {
        lists[id].at(index).data = data;
        return true;
    }
    int GetListCount(int id) override { return static_cast<int>(lists[id].size()); }
    int32_t GetListItemData(int id, int index) override { return lists[id].at(index).data; }
    int GetListSelection(int id) override { return selection[id]; }
    void SetListSelection(int id, int index) override { selection[id] = index; }
    void SetProgressRange(int l, int h) override { low = l, high = h; }
    void SetProgressPos(int pos) override { progress = pos; }
    void SetStatusText(const std::string& t) override { statuses.push_back(t); }
    int GetProgressPos() override { return progress; }
    void ShowMessage(const std::string& t) override {
        shown.push_back({t, text[qm::IDC_START], enabled[qm::IDC_START], progress});
    }
    void ShowDetailedMessage(const std::string& t, const std::vector<std::string>& d) override {
        ShowMessage(t);
        shown.back().detail = d;
    }
    qm::FolderChoice BrowseForFolder(const std::string& title) override {
        titles.push_back(title);
        qm::FolderChoice c = folders.front();
        folders.pop_front();
        return c;
    }
    std::optional<std::string> GetOpenFileName(const std::string& title, const std::string& name,
                                               const std::string& pattern) override {
        titles.push_back(title);
        filterName = name;
        filterPattern = pattern;
        auto f = files.front();
        files.pop_front();
        return f;
    }
    void CenterWindow() override { centred = true; }
    void EndDialog(int result) override { ended = result; }
    bool RunBuild(const std::function<bool()>& build) override {
        if (duringBuild) duringBuild();
        return build();
    }

    std::string LastMessage() const { return shown.empty() ? "<none>" : shown.back().text; }
};

// What a scripted build was given, and what it does.
struct FakeBuild {
    int calls = 0;
    int buildType = -1, codeType = -1;
    std::string audio, package, cwd;
    std::vector<int> positions = {10, 15, 30, 40, 80, 90, 100};
    bool result = true;
    std::string err;
    std::vector<std::string> detail;

    qm::BuildRunner Runner() {
        return
            [this](const qm::CheckedRequest& r, qm::ProgressSink* progress, qm::Failure& failure) {
                ++calls;
                buildType = r.buildType, codeType = r.codeType, audio = r.audioFolder;
                package = r.packagePath;
                cwd = qm::GetCurrentDir();
                progress->SetStage("writing clips", 1, 2);
                progress->SetStage("writing clips", 2, 2);
                for (int pos : positions) progress->SetPos(pos);
                failure.message = err;
                failure.detail = detail;
                return result;
            };
    }
};

struct Harness {
    FakeView view;
    qm::CQuillmarkDlg dlg;
    FakeBuild build;
    Harness() {
        dlg.Attach(&view);
        dlg.SetBuildRunner(build.Runner());
        EXPECT_TRUE(dlg.OnInitDialog());
    }
    void Start() { EXPECT_TRUE(dlg.OnCommand(qm::IDC_START, qm::BN_CLICKED)); }
    void Select(int list, int index) {
        view.selection[list] = index;
        dlg.OnCommand(list, qm::CBN_SELCHANGE);
    }
};

// A package holding the prompt resources only, its clips at the given rate.
std::string PromptOnlyPackage(const TempDir& dir, const std::string& name, int32_t rate) {
    const std::string path = dir / name;
    EXPECT_TRUE(qm::WritePackage(path, {{qm::kPromptIndexId, qm::EmptyTextIndexBlock()},
                                        {qm::kPromptClipId, qm::EmptyClipContainer(rate)}}));
    return path;
}

}  // namespace

TEST(Dialog, InitialListsAndCommands) {
    Harness h;
    auto texts = [&](int id) {
        std::vector<std::pair<std::string, int32_t>> out;
        for (const auto& i : h.view.lists[id]) out.emplace_back(i.text, i.data);
        return out;
    };
    using V = std::vector<std::pair<std::string, int32_t>>;
    EXPECT_EQ(texts(qm::IDC_BUILD_TYPE),
              (V{{"打包提示音资源", 0}, {"打包背景音资源", 1}, {"打包发音人提示音资源", 2}}));
    EXPECT_EQ(texts(qm::IDC_CODE_TYPE),
              (V{{"Code1", 0}, {"Code2", 1}, {"Code3", 2}, {"Code4", 3}}));
    EXPECT_EQ(texts(qm::IDC_SAMPLE_RATE), (V{{"22kHz 16bit", 22050},
                                             {"16kHz 16bit", 16000},
                                             {"11kHz 16bit", 11025},
                                             {"8kHz  16bit", 8000}}));
    EXPECT_EQ(h.view.selection[qm::IDC_BUILD_TYPE], 0);
    EXPECT_EQ(h.view.selection[qm::IDC_CODE_TYPE], 0);
    EXPECT_EQ(h.view.selection[qm::IDC_SAMPLE_RATE], -1);
    EXPECT_EQ(std::make_pair(h.view.low, h.view.high), std::make_pair(0, 100));
    EXPECT_TRUE(h.view.centred);
    // Ids around the list texts' ranges are not in the string table.
    for (int id : {2000, 2005, 2010, 2015, 2019, 2022}) EXPECT_STREQ(qm::LoadDialogString(id), "");

    // The fields take the selected item's data, not its index; a change with
    // no selection keeps the field.
    std::swap(h.view.lists[qm::IDC_CODE_TYPE][1], h.view.lists[qm::IDC_CODE_TYPE][3]);
    h.Select(qm::IDC_CODE_TYPE, 1);
    EXPECT_EQ(h.dlg.CodeType(), 3);
    h.Select(qm::IDC_CODE_TYPE, -1);
    EXPECT_EQ(h.dlg.CodeType(), 3);
    h.Select(qm::IDC_BUILD_TYPE, 2);
    EXPECT_EQ(h.dlg.BuildType(), 2);

    // Only the listed notification codes are commands.
    EXPECT_FALSE(h.dlg.OnCommand(qm::IDC_START, qm::CBN_SELCHANGE));
    EXPECT_FALSE(h.dlg.OnCommand(qm::IDC_BUILD_TYPE, qm::BN_CLICKED));
    EXPECT_FALSE(h.view.ended);
    EXPECT_TRUE(h.dlg.OnCommand(qm::IDC_EXIT, qm::BN_CLICKED));
    EXPECT_EQ(h.view.ended, 0);
}

// The checks and their order are the request's (tests/driver); here, what
// the dialog reads for them and how it shows a refusal.
TEST(Dialog, StartRefusesAndKeepsTheFirstPackagePath) {
    KeepCwd keep;
    TempDir dir;
    const std::string pkg = PromptOnlyPackage(dir, "in.irf", 16000);
    fs::create_directories(dir / "audio");
    Harness h;
    h.view.progress = 37;

    // Without a package path the audio folder box is not read.
    h.view.text[qm::IDC_AUDIO_PATH] = dir / "audio";
    h.Start();
    EXPECT_EQ(h.view.LastMessage(), "Please select an original IRF file！");
    EXPECT_EQ(h.dlg.AudioFolder(), "");

    // A package path refused later is still taken (and kept) at this Start;
    // the audio folder box is read at every Start.
    h.view.text[qm::IDC_IRF_PATH] = dir.path();
    h.view.text[qm::IDC_AUDIO_PATH] = "";
    h.Start();
    EXPECT_EQ(h.view.LastMessage(), "Please specify audio file path！");
    h.view.text[qm::IDC_AUDIO_PATH] = dir / "audio";
    h.Start();
    EXPECT_EQ(h.view.LastMessage(), "IRF file path name is incorrect, please re-set it!");
    EXPECT_EQ(h.dlg.AudioFolder(), dir / "audio");
    // The box is read only while no package path is held.
    h.view.text[qm::IDC_IRF_PATH] = pkg;
    h.Start();
    EXPECT_EQ(h.view.LastMessage(), "IRF file path name is incorrect, please re-set it!");
    EXPECT_EQ(h.dlg.PackagePath(), dir.path());

    EXPECT_EQ(h.build.calls, 0);
    EXPECT_EQ(h.view.progress, 37);
    EXPECT_EQ(h.view.shown.size(), 4u);
}

TEST(Dialog, BrowseAudioFolder) {
    TempDir dir;
    fs::create_directories(dir / "a");
    Harness h;

    h.view.folders = {{qm::FolderChoice::kCancelled, ""}};
    h.dlg.OnCommand(qm::IDC_BROWSE_AUDIO, qm::BN_CLICKED);
    EXPECT_TRUE(h.view.shown.empty());  // nothing stored yet, nothing to check
    EXPECT_EQ(h.view.titles.back(), "Specify audio file path");

    h.view.folders = {{qm::FolderChoice::kChosen, dir / "a"}};
    h.dlg.OnCommand(qm::IDC_BROWSE_AUDIO, qm::BN_CLICKED);
    EXPECT_EQ(h.view.text[qm::IDC_AUDIO_PATH], dir / "a");
    EXPECT_EQ(h.dlg.AudioFolder(), dir / "a");
    EXPECT_TRUE(h.view.shown.empty());

    // A location without a file-system path changes nothing.
    h.view.folders = {{qm::FolderChoice::kNoPath, ""}};
    h.dlg.OnCommand(qm::IDC_BROWSE_AUDIO, qm::BN_CLICKED);
    EXPECT_EQ(h.dlg.AudioFolder(), dir / "a");
    EXPECT_EQ(h.view.text[qm::IDC_AUDIO_PATH], dir / "a");

    // The stored folder is checked even when the browser is cancelled.
    fs::remove(dir / "a");
    h.view.folders = {{qm::FolderChoice::kCancelled, ""}};
    h.dlg.OnCommand(qm::IDC_BROWSE_AUDIO, qm::BN_CLICKED);
    EXPECT_EQ(h.view.LastMessage(), dir / "a" + " is not a valid path!");
}

TEST(Dialog, BrowsePackageShowsRateAndKeepsARefusedPackage) {
    KeepCwd keep;
    TempDir dir;
    const std::string p11 = PromptOnlyPackage(dir, "p11.irf", 11025);
    const std::string p22 = PromptOnlyPackage(dir, "p22.irf", 22050);
    fs::create_directories(dir / "audio");
    Harness h;

    h.view.files = {p11};
    h.dlg.OnCommand(qm::IDC_BROWSE_IRF, qm::BN_CLICKED);
    EXPECT_EQ(h.view.titles.back(), "Select IRF file");
    EXPECT_EQ(h.view.filterName, "IRF");
    EXPECT_EQ(h.view.filterPattern, "*.irf");
    EXPECT_TRUE(h.view.shown.empty()) << h.view.LastMessage();
    EXPECT_EQ(h.view.text[qm::IDC_IRF_PATH], p11);
    EXPECT_EQ(h.view.selection[qm::IDC_SAMPLE_RATE], 2);

    // For background sounds the same kind of package is refused, yet it stays
    // chosen and the rate list keeps the rate it showed.
    h.Select(qm::IDC_BUILD_TYPE, 1);
    h.view.files = {p22};
    h.dlg.OnCommand(qm::IDC_BROWSE_IRF, qm::BN_CLICKED);
    EXPECT_EQ(h.view.LastMessage(), "IRF file dose't contains the resource");
    EXPECT_EQ(h.view.text[qm::IDC_IRF_PATH], p22);
    EXPECT_EQ(h.dlg.PackagePath(), p22);
    EXPECT_EQ(h.view.selection[qm::IDC_SAMPLE_RATE], 2);

    // Cancelling changes nothing; a path typed over the chosen one is ignored.
    h.view.files = {std::nullopt};
    h.dlg.OnCommand(qm::IDC_BROWSE_IRF, qm::BN_CLICKED);
    EXPECT_EQ(h.dlg.PackagePath(), p22);
    h.view.text[qm::IDC_IRF_PATH] = p11;
    h.view.text[qm::IDC_AUDIO_PATH] = dir / "audio";
    h.Start();
    EXPECT_EQ(h.build.package, p22);
    EXPECT_EQ(h.build.buildType, 1);
}

TEST(Dialog, BuildOutcomes) {
    KeepCwd keep;
    TempDir dir;
    const std::string pkg = PromptOnlyPackage(dir, "voice pack.irf", 16000);
    fs::create_directories(dir / "one");
    fs::create_directories(dir / "two");
    fs::current_path(dir.path());  // relative paths are taken from the start folder
    Harness h;
    h.Select(qm::IDC_CODE_TYPE, 3);
    h.view.text[qm::IDC_IRF_PATH] = "voice pack.irf";
    h.view.text[qm::IDC_AUDIO_PATH] = "one";

    // Nothing reaches the dialog while a build runs: no second Start, no Exit.
    h.view.duringBuild = [&] {
        EXPECT_TRUE(h.dlg.IsBuilding());
        EXPECT_FALSE(h.dlg.OnCommand(qm::IDC_START, qm::BN_CLICKED));
        EXPECT_FALSE(h.dlg.OnCommand(qm::IDC_EXIT, qm::BN_CLICKED));
        h.dlg.OnClose();
    };
    h.Start();
    EXPECT_EQ(h.build.calls, 1);
    EXPECT_FALSE(h.view.ended);
    EXPECT_FALSE(h.dlg.IsBuilding());
    EXPECT_EQ(h.build.buildType, 0);
    EXPECT_EQ(h.build.codeType, 3);
    EXPECT_EQ(h.build.package, pkg);
    EXPECT_EQ(h.build.audio, dir / "one");
    EXPECT_TRUE(fs::equivalent(h.build.cwd, dir / "one"));
    ASSERT_EQ(h.view.shown.size(), 1u);
    EXPECT_EQ(h.view.LastMessage(),
              "The new IRF has been generated，it located in " + dir / "one" + "/voice pack.irf");
    EXPECT_EQ(h.view.shown.back().startText, "Buildig...");
    EXPECT_EQ(h.view.shown.back().progress, 100);
    EXPECT_EQ(h.view.progress, 100);
    EXPECT_EQ(h.view.text[qm::IDC_START], "Start");
    EXPECT_TRUE(h.view.enabled[qm::IDC_START]);
    // The status line follows the stages and is cleared when the build ends.
    ASSERT_GE(h.view.statuses.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(h.view.statuses.begin(), h.view.statuses.begin() + 3),
              (std::vector<std::string>{"writing clips 1 of 2", "writing clips 2 of 2", ""}));
    EXPECT_EQ(h.view.statuses.back(), "");

    // The audio folder is read again at each Start, still from the start
    // folder though the build left the current directory in "one". A failure
    // without a message shows an empty box over the position reached, then
    // clears the bar.
    h.view.text[qm::IDC_AUDIO_PATH] = "two";
    h.build.positions = {10, 15, 30, 40};
    h.build.result = false;
    h.Start();
    EXPECT_EQ(h.build.audio, dir / "two");
    ASSERT_EQ(h.view.shown.size(), 2u);
    EXPECT_EQ(h.view.shown.back().text, "");
    EXPECT_EQ(h.view.shown.back().progress, 40);
    EXPECT_FALSE(h.view.shown.back().startEnabled);
    EXPECT_EQ(h.view.progress, 0);
    EXPECT_TRUE(h.view.enabled[qm::IDC_START]);

    // The failure's detail goes behind the message, as the box's detailed text.
    h.build.err = "Copy temp file failed！";
    h.build.detail = {"in /out/new.irf", "reason: the new package cannot be created here"};
    h.Start();
    EXPECT_EQ(h.view.LastMessage(), "Copy temp file failed！");
    EXPECT_EQ(h.view.shown.back().detail, h.build.detail);
}
