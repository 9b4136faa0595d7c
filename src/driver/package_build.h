// The build driver: one build request (build type, audio folder, package,
// code type) to one new package, through the work files of the audio folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/clip_set.h"
#include "driver/work_files.h"
#include "input/lists.h"
#include "input/roles.h"
#include "platform/folder_lock.h"
#include "platform/progress.h"
#include "resfile/textindex.h"

namespace qm {

// The account of a package that the build cannot read (err: the package
// reader's message, which becomes the problem's message).
Problem PackageProblem(const std::string& err, const std::string& packagePath);

class CPackageBuild {
  public:
    // The progress bar the build moves (0..100); without one the positions
    // are kept internally.
    void SetProgress(ProgressSink* progress) { progress_ = progress; }
    // Writes the new package to this path instead of the audio folder.
    void SetOutputPath(const std::string& path) { outputPath_ = path; }
    // Worker threads for the coders (0: one per core).
    void SetJobs(int jobs) { jobs_ = jobs; }

    // Runs one build. The audio folder must exist, the package path name an
    // existing file and the current directory be the audio folder. False
    // with err set (or left empty where the failure has no message; then
    // FailureNote() says what failed).
    bool Run(int buildType, const std::string& audioFolder, const std::string& packagePath,
             int codeType, std::string& err);

    // Where the new package was written (after a successful Run).
    const std::string& OutputPath() const { return finalPath_; }
    // A one-line account of a failure that left the error text empty.
    const std::string& FailureNote() const { return note_; }
    // The whole account of the last failure: where, why and how to fix it
    // (its message is left empty; the error text is the message).
    const Problem& FailureAccount() const { return account_; }
    // The 1-based number of the prompt entry being filed (in a role build,
    // within its role).
    int32_t CurrentPrompt() const { return currentPrompt_; }

    std::vector<PromptEntry> promptList;
    CTextIndex textIndex;
    CClipSet clipSet;
    RoleConfig roleConfig;

  private:
    void SetBuildProgress(int pos);
    // Takes folder for this build; false with err set when another build
    // holds it.
    bool LockFolder(const std::string& folder, std::string& err);
    // True with err set when the new package would replace an input of the
    // prompt list read from folder.
    bool LandsOnInput(const std::string& folder, std::string& err);
    // Says in the failure note which of the inputs is not a regular file.
    void NoteIrregular(const std::vector<std::string>& inputs);
    // Files every prompt text of the list and appends its entry to the clip set.
    bool FileTexts(std::string& err);
    bool RunSingle(int buildType, int codeType, std::string& err);
    bool Code(int codeType, const std::string& input, const std::string& output, std::string& err);
    bool Finish(int buildType, std::string& err);
    // Removes the package copies this build created (never other files).
    void DeleteWorkFiles();
    std::string InAudio(const std::string& name) const;
    // Accounts of failures for FailureAccount().
    void ExplainPackage(const std::string& err);
    void ExplainSystem(const char* word, const std::string& path, const std::string& what);

    // The role build (role_build.cpp): the role index file, the role clip
    // file and, when coding, the coded role clip file, one block per role.
    struct RoleFiles;
    bool RunRoles(int codeType, std::string& err);
    bool OpenRoleFiles(RoleFiles& files, int codeType, std::string& err);
    bool BuildRole(const RoleEntry& role, int roleNumber, RoleFiles& files, int codeType,
                   std::string& err);
    bool CodeRole(RoleFiles& files, uint64_t offset, uint64_t length, int codeType,
                  std::string& err);
    bool CloseRoleFiles(RoleFiles& files, std::string& err);

    class InternalProgress : public ProgressSink {
      public:
        int GetPos() const override { return pos_; }
        void SetPos(int pos) override { pos_ = pos; }

      private:
        int pos_ = 0;
    };

    ProgressSink* progress_ = nullptr;
    InternalProgress ownProgress_;
    std::string outputPath_;
    int jobs_ = 0;

    std::string audioFolder_;
    std::string packagePath_;
    std::string indexFile_;
    std::string uncodedClipFile_;
    std::string codedClipFile_;
    std::string finalPath_;
    std::string note_;
    Problem account_;
    std::vector<std::string> created_;  // package copies to remove
    std::vector<std::string> partial_;  // work files being written
    FolderLocks locks_;                 // the audio folder and role folders
    int32_t currentPrompt_ = 0;
};

}  // namespace qm
