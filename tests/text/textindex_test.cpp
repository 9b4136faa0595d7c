// The text index: filing order, the block layout, its by-products and its
// failures.
#include "resfile/textindex.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/testutil.h"
#include "input/lists.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace {

using qmtest::ReadFile;
using qmtest::TempDir;

class InDir {
  public:
    explicit InDir(const std::string& dir) : old_(qm::GetCurrentDir()) { qm::SetCurrentDir(dir); }
    ~InDir() { qm::SetCurrentDir(old_); }

  private:
    std::string old_;
};

qm::PromptEntry Entry(const std::string& text) {
    qm::PromptEntry e;
    e.text = text;
    return e;
}

void FileAll(qm::CTextIndex& index, const std::vector<std::string>& texts) {
    std::string err;
    for (size_t i = 0; i < texts.size(); ++i) {
        ASSERT_TRUE(index.AddText(Entry(texts[i]), static_cast<int32_t>(i + 1), err)) << err;
    }
}

// Writes the index's block into a file that already holds prefix bytes;
// returns the whole file.
std::string Write(qm::CTextIndex& index, const TempDir& tmp, std::vector<qm::IndexText>& order,
                  const std::string& prefix = "", int64_t* posAfter = nullptr) {
    InDir in(tmp.path());
    qmtest::WriteFile(tmp / "x.idx", prefix);
    qm::File f;
    EXPECT_TRUE(f.Open(tmp / "x.idx", "r+b"));
    std::string err;
    EXPECT_TRUE(index.WriteBlock(&f, order, err)) << err;
    if (posAfter) *posAfter = f.Tell();
    EXPECT_TRUE(f.Close());
    return ReadFile(tmp / "x.idx");
}

uint32_t U32(const std::string& b, size_t at) {
    return qm::GetU32(reinterpret_cast<const unsigned char*>(b.data()) + at);
}
uint16_t U16(const std::string& b, size_t at) {
    return qm::GetU16(reinterpret_cast<const unsigned char*>(b.data()) + at);
}

TEST(TextIndex, TwoTextBlockLayout) {
    // Two Chinese characters (one segment), then two letters and two digits.
    TempDir tmp;
    qm::CTextIndex index;
    const std::string zh = qm::Utf8ToCp936("你好");
    FileAll(index, {zh, "ab12"});
    std::vector<qm::IndexText> order;
    int64_t pos = 0;
    std::string b = Write(index, tmp, order, "", &pos);
    ASSERT_EQ(b.size(), 374u);
    EXPECT_EQ(b.substr(0, 10), "TSPTMBGDV4");
    EXPECT_EQ(U16(b, 10), 40);
    EXPECT_EQ(U32(b, 12), 362u);
    EXPECT_EQ(U32(b, 16), 350u);
    EXPECT_EQ(U32(b, 20), 358u);
    EXPECT_EQ(U32(b, 24), 344u);
    EXPECT_EQ(U16(b, 28), 0);
    EXPECT_EQ(U16(b, 30), 1);
    EXPECT_EQ(U32(b, 32), 346u);
    EXPECT_EQ(U16(b, 36), 1);
    EXPECT_EQ(U16(b, 38), 1);
    for (int k = 2; k < 40; ++k) {
        EXPECT_EQ(U32(b, 24 + 8 * k), 0u);
        EXPECT_EQ(U16(b, 28 + 8 * k), 2);
        EXPECT_EQ(U16(b, 30 + 8 * k), 0);
    }
    EXPECT_EQ(b.substr(344, 6), std::string("\x06\x02\x05\x02\x03\x02", 6));
    EXPECT_EQ(U32(b, 350), 0u);
    EXPECT_EQ(U32(b, 354), 4u);
    EXPECT_EQ(U16(b, 358), 2);
    EXPECT_EQ(U16(b, 360), 4);
    std::u16string pool = u"你好ab12";
    for (size_t i = 0; i < pool.size(); ++i) EXPECT_EQ(U16(b, 362 + 2 * i), pool[i]);
    EXPECT_EQ(pos, 344);  // left just after the header
    EXPECT_EQ(ReadFile(tmp / "New-TextLst.txt"), zh + "\r\nab12\r\n");
    ASSERT_EQ(order.size(), 2u);
    EXPECT_EQ(order[0].text, zh);
    EXPECT_EQ(order[1].text, "ab12");
}

TEST(TextIndex, EmptyAndAppendedBlocks) {
    TempDir tmp;
    qm::CTextIndex index;
    std::vector<qm::IndexText> order;
    std::string b = Write(index, tmp, order);
    ASSERT_EQ(b.size(), 344u);
    for (size_t at : {12, 16, 20}) EXPECT_EQ(U32(b, at), 344u);
    for (int k = 0; k < 40; ++k) EXPECT_EQ(U32(b, 24 + 8 * k) | U32(b, 28 + 8 * k), 0u);
    EXPECT_EQ(ReadFile(tmp / "New-TextLst.txt"), "");

    // A block after 1000 bytes has offsets relative to its own start, and the
    // bytes before it stay.
    FileAll(index, {"x"});
    const std::string prefix(1000, '\x5A');
    int64_t pos = 0;
    std::string all = Write(index, tmp, order, prefix, &pos);
    EXPECT_EQ(all.substr(0, 1000), prefix);
    std::string block = all.substr(1000);
    EXPECT_EQ(block.substr(0, 10), "TSPTMBGDV4");
    EXPECT_EQ(U32(block, 24), 344u);
    EXPECT_EQ(U32(block, 16), 346u);
    EXPECT_EQ(U32(block, 20), 350u);
    EXPECT_EQ(U32(block, 12), 352u);
    EXPECT_EQ(block.size(), 354u);
    EXPECT_EQ(pos, 1344);
}

TEST(TextIndex, OrderFollowsSegmentsThenListAndKeepsEntries) {
    // Index order: bucket by bucket, list order within a bucket. Each text
    // names the entry it came from, and normalised texts keep their entry.
    TempDir tmp;
    qm::CTextIndex index;
    const std::string fw = qm::Utf8ToCp936("ＡＢ");  // normalised to "AB"
    FileAll(index, {"a b", "z", "x1", "$", fw, "c d"});
    EXPECT_EQ(index.TextCount(), 6u);
    std::vector<qm::IndexText> order;
    std::string b = Write(index, tmp, order);
    ASSERT_EQ(order.size(), 6u);
    const std::vector<std::pair<std::string, int>> want = {{"z", 1},  {"\xA1\xE7", 3}, {"AB", 4},
                                                           {"x1", 2}, {"a b", 0},      {"c d", 5}};
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(order[i].text, want[i].first) << i;
        EXPECT_EQ(order[i].entry, want[i].second) << i;
    }
    EXPECT_EQ(ReadFile(tmp / "New-TextLst.txt"), "z\r\n\xA1\xE7\r\nAB\r\nx1\r\na b\r\nc d\r\n");
    // Bucket entries: (344, 0, 3), (350, 3, 1), (354, 4, 2).
    EXPECT_EQ(U32(b, 24), 344u);
    EXPECT_EQ(U32(b, 28), 3u << 16);
    EXPECT_EQ(U32(b, 32), 350u);
    EXPECT_EQ(U32(b, 36), 3u | (1u << 16));
    EXPECT_EQ(U32(b, 40), 354u);
    EXPECT_EQ(U32(b, 44), 4u | (2u << 16));
    // Text lengths count UTF-16 units: "＄" is one unit.
    const size_t lengths = U32(b, 20);
    EXPECT_EQ(U16(b, lengths + 2), 1);
    EXPECT_EQ(U32(b, U32(b, 16) + 4 * 5), 2u * (1 + 1 + 2 + 2 + 3));

    // Clear empties every bucket.
    index.Clear();
    EXPECT_EQ(index.TextCount(), 0u);
}

TEST(TextIndex, Failures) {
    TempDir tmp;
    InDir in(tmp.path());
    qm::CTextIndex index;
    FileAll(index, {"a"});
    std::vector<qm::IndexText> order;
    std::string err;
    EXPECT_FALSE(index.WriteBlock(nullptr, order, err));
    EXPECT_EQ(err, "打开文件TextLst.txt失败！");
    qm::File closed;
    err.clear();
    EXPECT_FALSE(index.WriteBlock(&closed, order, err));
    EXPECT_EQ(err, "打开文件TextLst.txt失败！");

    // "New-TextLst.txt" cannot be created: nothing goes into the index file.
    std::filesystem::create_directory(tmp / "New-TextLst.txt");
    qm::File f;
    ASSERT_TRUE(f.Open(tmp / "x.idx", "wb"));
    err.clear();
    EXPECT_FALSE(index.WriteBlock(&f, order, err));
    EXPECT_EQ(err, "刷新文件New-TextLst.txt失败！");
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(qm::FileSize(tmp / "x.idx"), 0);
    std::filesystem::remove(tmp / "New-TextLst.txt");

    // A full disk is a failure, not a success.
    if (qm::PathFileExists("/dev/full")) {
        qm::File full;
        ASSERT_TRUE(full.Open("/dev/full", "wb"));
        err.clear();
        EXPECT_FALSE(index.WriteBlock(&full, order, err));
        EXPECT_EQ(err, "Can not write file full！");
    }

    // Refused texts are not filed; the text count limit holds in the index too.
    EXPECT_FALSE(index.AddText(Entry("a\rb"), 2, err));
    EXPECT_EQ(index.TextCount(), 1u);
}

TEST(TextIndex, FullSizeIndex) {
    // 65535 texts, the most the block can number; one more is refused.
    TempDir tmp;
    qm::CTextIndex index;
    std::string err;
    for (int i = 0; i < 65535; ++i) {
        std::string t = (i % 2 ? "p" : "") + std::to_string(i);
        ASSERT_TRUE(index.AddText(Entry(t), i + 1, err)) << err;
    }
    EXPECT_FALSE(index.AddText(Entry("more"), 65536, err));
    EXPECT_EQ(err, "the number of texts exceed the maximum limit（65535）!");
    std::vector<qm::IndexText> order;
    std::string b = Write(index, tmp, order);
    ASSERT_EQ(order.size(), 65535u);
    // Bucket 0: the 32768 digit-only texts; bucket 1: "p" and digits.
    EXPECT_EQ(U16(b, 30), 32768);
    EXPECT_EQ(U16(b, 36), 32768);
    EXPECT_EQ(U16(b, 38), 32767);
    EXPECT_EQ(U16(b, 28 + 8 * 2), 65535);
    EXPECT_EQ(order.back().entry, 65533);
}

}  // namespace
