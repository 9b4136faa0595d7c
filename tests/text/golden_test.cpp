// Lists, segmentation and the index writer run on the bundled golden builds:
// the index blocks and "New-TextLst.txt" must match what those builds left.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/bytes.h"
#include "platform/file.h"
#include "resfile/textindex.h"
#include "text/textutil.h"

namespace {

using qmtest::ReadFile;
const std::string kGolden = std::string(QM_TEST_DATA) + "/golden/";

// The block that the lists of folder give, written into a fresh file.
std::string BuildBlock(const std::string& folder, const std::string& indexPath) {
    std::vector<qm::PromptEntry> list;
    EXPECT_EQ(qmtest::LoadIn(folder, &list), "");
    qmtest::InDir in(folder);
    qm::CTextIndex index;
    std::string err;
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_TRUE(index.AddText(list[i].text, static_cast<int32_t>(i + 1), err)) << err;
    }
    qm::File f;
    std::vector<qm::IndexText> order;
    EXPECT_TRUE(f.Open(indexPath, "wb") && index.WriteBlock(&f, order, err) && f.Close()) << err;
    EXPECT_EQ(order.size(), list.size());
    return ReadFile(indexPath);
}

TEST(Golden, IndexBlocksAndTextLists) {
    struct Case {
        std::string name, folder, index;
        uint32_t role;  // for a role build: which block of "PromptRole.idx"
    };
    const Case cases[] = {{"prompt-code1", "audio", "Prompt.idx", 0},
                          {"bgsound-code2", "audio", "Bgsound.idx", 0},
                          {"role-code3", "audio", "PromptRole.idx", 1},
                          {"role-code3", "audio/spk2", "PromptRole.idx", 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + "/" + c.folder);
        qmtest::TempDir tmp;
        std::filesystem::copy(kGolden + c.name + "/audio", tmp / "audio",
                              std::filesystem::copy_options::recursive);
        const std::string folder = tmp / c.folder;
        const std::string expected = kGolden + c.name + "/expected/tree/";
        std::string want = ReadFile(expected + "audio/" + c.index);
        if (c.role > 0) {  // the role table at 1024 gives offset and length
            const auto* p = reinterpret_cast<const unsigned char*>(want.data());
            ASSERT_GE(want.size(), 1024u + 12 * c.role);
            want = want.substr(qm::GetU32(p + 1024 + 12 * c.role - 8),
                               qm::GetU32(p + 1024 + 12 * c.role - 4));
        }
        std::string block = BuildBlock(folder, tmp / "out.idx");
        EXPECT_GT(block.size(), 344u);
        EXPECT_EQ(block, want);
        EXPECT_EQ(ReadFile(folder + "/New-TextLst.txt"),
                  ReadFile(expected + c.folder + "/New-TextLst.txt"));
    }
}

}  // namespace
