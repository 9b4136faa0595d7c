// The clip container: a 40-byte header, a table of N + 1 record offsets and N
// records, each its sample count and then the samples or the coder's bytes.
// Its reader, its writer and the rule that gives a record's size live here,
// and nowhere else.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"
#include "resfile/byte_source.h"

namespace qm {

inline constexpr char kClipMagic[] = "Tessaphone Voice Data V3";  // 24 characters
inline constexpr uint32_t kClipMagicField = 30;                   // the characters and 6 zero bytes
inline constexpr uint32_t kClipHeaderSize = 40;
inline constexpr uint16_t kClipMarkerA = 0x1234;
inline constexpr uint16_t kClipMarkerB = 0xCCCC;
inline constexpr uint32_t kClipRateOffset = 34;
inline constexpr uint32_t kClipCodingOffset = 35;
inline constexpr uint32_t kClipCountOffset = 36;
// What the offset table holds until its final values are written: the
// clip writer's and the coder front end's placeholders.
inline constexpr uint32_t kClipTablePlaceholder = 0xFFFFFFFFu;
inline constexpr uint32_t kCodedTablePlaceholder = 0xCCCCCCCCu;

// The coding byte.
enum ClipCoding : uint8_t {
    CODING_PCM16 = 2,
    CODING_IMA_ADPCM = 11,
    CODING_G7231 = 20,
    CODING_ALAW = 30,
};

// Bytes of a record's data for n samples: 2n (PCM16), n (A-law), n / 2
// rounded down (IMA ADPCM), 20 per started frame of 240 samples (G.723.1).
// False for a coding byte that is none of the four.
bool CodedRecordBytes(uint8_t coding, uint32_t n, uint64_t& bytes);
// "PCM16", "A-law", "IMA ADPCM", "G.723.1", or "unknown".
std::string ClipCodingName(uint8_t coding);
// Offset of record 0: the end of the offset table of `count` records.
constexpr uint64_t ClipTableEnd(uint64_t count) { return kClipHeaderSize + 4 * (count + 1); }

// The 40 header bytes as they stand, and their fields. A role clip container
// starts with the same 36 bytes and holds its role count at 36.
struct ClipHeader {
    std::array<unsigned char, kClipHeaderSize> bytes{};
    bool magic = false;        // the 24 characters and a zero byte
    bool magicPadded = false;  // bytes 25 to 29 zero as well
    uint16_t markerA = 0;
    uint16_t markerB = 0;
    uint8_t rateByte = 0;
    uint8_t coding = 0;
    uint32_t count = 0;

    // The same header with another coding byte; every other byte stays.
    ClipHeader WithCoding(uint8_t newCoding) const;
};
ClipHeader DecodeClipHeader(const unsigned char* bytes);
// The header the writers put: magic, markers, rate byte, coding byte, count.
ClipHeader MakeClipHeader(uint8_t rateByte, uint8_t coding, uint32_t count);

// Bytes of an empty container at a rate in Hz (coding PCM16): the header and
// one table entry holding 44. No bytes for a rate other than the four.
std::vector<unsigned char> EmptyClipContainer(int32_t rate);

// Reads a container from a source, trusting none of its numbers: the header,
// then the offset table, then records one at a time, each only when it lies
// inside the source. The source must outlive the reader.
class ClipContainerReader {
  public:
    // False when the source is shorter than the header.
    bool ReadHeader(const ByteSource& src);
    // After ReadHeader: false when the table of count + 1 entries does not
    // fit in the source.
    bool ReadTable();

    const ClipHeader& Header() const { return header_; }
    uint32_t Count() const { return header_.count; }
    // Table entry k (0 to Count()): offset of record k, or the end for Count().
    uint32_t Offset(uint32_t k) const { return table_[k]; }
    // Record k's sample count; false when the count field lies outside the source.
    bool SampleCount(uint32_t k, uint32_t& n) const;
    // The data size of record k holding n samples in the header's coding;
    // false when the coding is unknown or the data does not fit in the source.
    bool DataFits(uint32_t k, uint32_t n, uint64_t& bytes) const;
    // Reads `bytes` bytes of record k's data (after its count).
    bool ReadData(uint32_t k, void* out, size_t bytes) const;

  private:
    const ByteSource* src_ = nullptr;
    ClipHeader header_;
    std::vector<uint32_t> table_;
};

// A whole container checked: the header fields, which records can be read
// and their sample counts, and every inconsistency found, one English
// sentence each (magic, markers, rate and coding bytes, a table that does
// not start after itself or end at the container's end, records out of
// order, outside, or of a length that does not match their sample count).
struct ClipContainerCheck {
    bool headerRead = false;  // long enough for a header, with the magic
    uint8_t rateByte = 0;
    uint8_t coding = 0;
    uint32_t count = 0;
    std::vector<bool> readable;  // per record, when the table could be read
    std::vector<uint32_t> samples;
    std::vector<uint32_t> offsets;  // per record, its table entry (from the container's start)
    std::vector<std::string> problems;
};
ClipContainerCheck CheckClipContainer(const ByteSource& src);

// Writes a container at the end of a file: the header and a table of
// placeholders, then the records in order, then the final table, so the
// records can be made one at a time. Offsets are relative to the
// container's start.
class ClipContainerWriter {
  public:
    // Writes the header and count + 1 placeholder entries at the end of out.
    // False when a write fails or the table would not be addressable by
    // 32-bit offsets. out must stay open until Finish.
    bool Begin(File& out, const ClipHeader& header, uint32_t placeholder);
    // Appends the next record: its sample count and its data. False when a
    // write fails or the container would outgrow 32-bit offsets (then
    // nothing of the record is written).
    bool AddRecord(uint32_t samples, const void* data, size_t bytes);
    // The same for 16-bit samples, written little-endian.
    bool AddSamples(const int16_t* samples, uint32_t n);
    // Once every record is in: flushes, writes the final table and flushes
    // again. False when records are missing or a write fails.
    bool Finish();
    // Bytes of the container written so far.
    uint64_t Length() const { return pos_; }

  private:
    File* out_ = nullptr;
    int64_t base_ = 0;
    uint64_t pos_ = 0;
    uint32_t next_ = 0;
    std::vector<uint32_t> table_;
};

}  // namespace qm
