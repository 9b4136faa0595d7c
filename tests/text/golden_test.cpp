// Runs list loading, segmentation and the text index writer on the bundled
// golden builds and compares the index blocks and "New-TextLst.txt" byte for
// byte with what those builds left behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/testutil.h"
#include "input/lists.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "resfile/textindex.h"

namespace {

namespace fs = std::filesystem;
using qmtest::ReadFile;

const std::string kGolden = std::string(QM_TEST_DATA) + "/golden";

// Makes dir the current directory for the lifetime of the object.
class InDir {
  public:
    explicit InDir(const std::string& dir) : old_(qm::GetCurrentDir()) { qm::SetCurrentDir(dir); }
    ~InDir() { qm::SetCurrentDir(old_); }

  private:
    std::string old_;
};

// Loads the lists of folder, files every text and writes one block at the end
// of index. Returns the block's bytes (read back from the file).
std::string BuildBlock(const std::string& folder, const std::string& indexPath, int32_t rate,
                       std::vector<qm::IndexText>* order = nullptr) {
    InDir in(folder);
    std::vector<qm::PromptEntry> list;
    std::string err;
    EXPECT_TRUE(qm::LoadPromptLists(list, rate, folder, err)) << err;
    qm::CTextIndex index;
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_TRUE(index.AddText(list[i], static_cast<int32_t>(i + 1), err)) << err;
    }
    qm::File f;
    EXPECT_TRUE(f.Open(indexPath, "wb"));
    std::vector<qm::IndexText> texts;
    EXPECT_TRUE(index.WriteBlock(&f, texts, err)) << err;
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(texts.size(), list.size());
    // Every text of the index order names the entry it came from.
    for (const qm::IndexText& t : texts) {
        EXPECT_GE(t.entry, 0);
        EXPECT_LT(t.entry, static_cast<int32_t>(list.size()));
    }
    if (order) *order = texts;
    return ReadFile(indexPath);
}

std::string CopyCase(const qmtest::TempDir& tmp, const std::string& name) {
    fs::copy(kGolden + "/" + name + "/audio", tmp.path() + "/audio", fs::copy_options::recursive);
    return tmp.path() + "/audio";
}

TEST(Golden, PromptAndBackgroundIndexes) {
    struct Case {
        const char* name;
        const char* index;
    };
    for (Case c : {Case{"prompt-code1", "Prompt.idx"}, Case{"bgsound-code2", "Bgsound.idx"}}) {
        SCOPED_TRACE(c.name);
        qmtest::TempDir tmp;
        std::string audio = CopyCase(tmp, c.name);
        std::string block = BuildBlock(audio, audio + "/" + c.index, 16000);
        std::string expected = std::string(kGolden) + "/" + c.name + "/expected/tree/audio/";
        EXPECT_GT(block.size(), 344u);
        EXPECT_EQ(block, ReadFile(expected + c.index));
        EXPECT_EQ(ReadFile(audio + "/New-TextLst.txt"), ReadFile(expected + "New-TextLst.txt"));
    }
}

TEST(Golden, RoleBlocks) {
    // The role index file holds one block per role; the role table (at 1024)
    // gives each block's offset and length.
    const std::string expected = kGolden + "/role-code3/expected/tree/audio/";
    std::string roleIdx = ReadFile(expected + "PromptRole.idx");
    ASSERT_GE(roleIdx.size(), 1024u + 24u);
    const auto* p = reinterpret_cast<const unsigned char*>(roleIdx.data());
    ASSERT_EQ(qm::GetU32(p + 24), 2u);
    qmtest::TempDir tmp;
    std::string audio = CopyCase(tmp, "role-code3");
    const char* folders[2] = {"", "spk2/"};
    for (int r = 0; r < 2; ++r) {
        SCOPED_TRACE(r);
        uint32_t off = qm::GetU32(p + 1024 + 12 * r + 4);
        uint32_t len = qm::GetU32(p + 1024 + 12 * r + 8);
        ASSERT_LE(uint64_t{off} + len, roleIdx.size());
        std::string folder = audio + "/" + folders[r];
        std::string block = BuildBlock(folder, tmp.path() + "/role.idx", 16000);
        EXPECT_EQ(block, roleIdx.substr(off, len));
        EXPECT_GT(block.size(), 344u);
        EXPECT_EQ(ReadFile(folder + "/New-TextLst.txt"),
                  ReadFile(expected + folders[r] + "New-TextLst.txt"));
    }
}

}  // namespace
