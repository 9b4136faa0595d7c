#include "resfile/clip_container.h"

#include <bit>
#include <cstring>

#include "platform/bytes.h"
#include "platform/text.h"
#include "resfile/findings.h"
#include "resfile/formats.h"

namespace qm {

bool CodedRecordBytes(uint8_t coding, uint32_t n, uint64_t& bytes) {
    switch (coding) {
        case CODING_PCM16:
            bytes = uint64_t{n} * 2;
            return true;
        case CODING_ALAW:
            bytes = n;
            return true;
        case CODING_IMA_ADPCM:
            bytes = n / 2;
            return true;
        case CODING_G7231:
            bytes = 20 * ((uint64_t{n} + 239) / 240);
            return true;
        default:
            return false;
    }
}

std::string ClipCodingName(uint8_t coding) {
    switch (coding) {
        case CODING_PCM16:
            return "PCM16";
        case CODING_ALAW:
            return "A-law";
        case CODING_IMA_ADPCM:
            return "IMA ADPCM";
        case CODING_G7231:
            return "G.723.1";
        default:
            return "unknown";
    }
}

ClipHeader DecodeClipHeader(const unsigned char* bytes) {
    ClipHeader h;
    std::memcpy(h.bytes.data(), bytes, kClipHeaderSize);
    // The 24 characters and the zero byte after them make the magic.
    h.magic = std::memcmp(bytes, kClipMagic, sizeof kClipMagic) == 0;
    h.magicPadded = true;
    for (uint32_t i = sizeof kClipMagic; i < kClipMagicField; ++i) {
        if (bytes[i] != 0) h.magicPadded = false;
    }
    h.markerA = GetU16(bytes + 30);
    h.markerB = GetU16(bytes + 32);
    h.rateByte = bytes[kClipRateOffset];
    h.coding = bytes[kClipCodingOffset];
    h.count = GetU32(bytes + kClipCountOffset);
    return h;
}

ClipHeader ClipHeader::WithCoding(uint8_t newCoding) const {
    std::array<unsigned char, kClipHeaderSize> b = bytes;
    b[kClipCodingOffset] = newCoding;
    return DecodeClipHeader(b.data());
}

ClipHeader MakeClipHeader(uint8_t rateByte, uint8_t coding, uint32_t count) {
    unsigned char b[kClipHeaderSize] = {};
    std::memcpy(b, kClipMagic, sizeof kClipMagic - 1);
    PutU16(b + 30, kClipMarkerA);
    PutU16(b + 32, kClipMarkerB);
    b[kClipRateOffset] = rateByte;
    b[kClipCodingOffset] = coding;
    PutU32(b + kClipCountOffset, count);
    return DecodeClipHeader(b);
}

std::vector<unsigned char> EmptyClipContainer(int32_t rate) {
    const uint8_t rateByte = RateByte(rate);
    if (rateByte == 0) return {};
    const ClipHeader h = MakeClipHeader(rateByte, CODING_PCM16, 0);
    std::vector<unsigned char> b(h.bytes.begin(), h.bytes.end());
    b.resize(ClipTableEnd(0));
    PutU32(b.data() + kClipHeaderSize, static_cast<uint32_t>(ClipTableEnd(0)));
    return b;
}

bool ClipContainerReader::ReadHeader(const ByteSource& src) {
    src_ = &src;
    table_.clear();
    unsigned char b[kClipHeaderSize];
    if (!src.Read(0, b, sizeof b)) return false;
    header_ = DecodeClipHeader(b);
    return true;
}

bool ClipContainerReader::ReadTable() {
    const uint64_t end = ClipTableEnd(header_.count);
    if (src_ == nullptr || end > src_->Size()) return false;
    std::vector<unsigned char> raw(static_cast<size_t>(end - kClipHeaderSize));
    if (!src_->Read(kClipHeaderSize, raw.data(), raw.size())) return false;
    table_.resize(header_.count + size_t{1});
    for (size_t k = 0; k < table_.size(); ++k) table_[k] = GetU32(raw.data() + 4 * k);
    return true;
}

bool ClipContainerReader::SampleCount(uint32_t k, uint32_t& n) const {
    return src_->ReadU32(table_[k], n);
}

bool ClipContainerReader::DataFits(uint32_t k, uint32_t n, uint64_t& bytes) const {
    return CodedRecordBytes(header_.coding, n, bytes) &&
           src_->Holds(uint64_t{table_[k]} + 4, bytes);
}

bool ClipContainerReader::ReadData(uint32_t k, void* out, size_t bytes) const {
    return src_->Read(uint64_t{table_[k]} + 4, out, bytes);
}

ClipContainerCheck CheckClipContainer(const ByteSource& src) {
    ClipContainerCheck c;
    std::vector<std::string>& p = c.problems;
    const unsigned long long size = src.Size();
    ClipContainerReader reader;
    if (!reader.ReadHeader(src)) {
        p.push_back(
            Format("%llu bytes, too short for a clip container (%u)", size, kClipHeaderSize));
        return c;
    }
    const ClipHeader& h = reader.Header();
    if (!h.magic) {
        p.push_back("no clip container magic \"Tessaphone Voice Data V3\"");
        return c;
    }
    c.headerRead = true;
    if (!h.magicPadded) p.push_back("magic field not padded with zero bytes");
    if (h.markerA != kClipMarkerA || h.markerB != kClipMarkerB) {
        p.push_back(Format("markers 0x%04X 0x%04X, expected 0x1234 0xCCCC", h.markerA, h.markerB));
    }
    c.rateByte = h.rateByte;
    c.coding = h.coding;
    c.count = h.count;
    if (RateFromByte(h.rateByte) == 0) {
        p.push_back(Format("rate byte %u is not 8, 11, 16 or 22", h.rateByte));
    }
    uint64_t bytes = 0;
    const bool knownCoding = CodedRecordBytes(h.coding, 0, bytes);
    if (!knownCoding) p.push_back(Format("unknown coding byte %u", h.coding));
    const uint64_t tableEnd = ClipTableEnd(h.count);
    if (tableEnd > size) {
        p.push_back(Format("offset table of %llu entries does not fit in %llu bytes",
                           static_cast<unsigned long long>(uint64_t{h.count} + 1), size));
        return c;
    }
    if (!reader.ReadTable()) {
        p.push_back("offset table cannot be read");
        return c;
    }
    if (reader.Offset(0) != tableEnd) {
        p.push_back(Format("record 0 at %u, expected %llu", reader.Offset(0),
                           static_cast<unsigned long long>(tableEnd)));
    }
    if (reader.Offset(h.count) != size) {
        p.push_back(
            Format("records end at %u, the container is %llu bytes", reader.Offset(h.count), size));
    }
    Tally order("records do not start after the previous one");
    Tally outside("records lie outside the container");
    Tally lengths("records whose length does not match their sample count and coding");
    c.readable.assign(h.count, false);
    c.samples.assign(h.count, 0);
    c.offsets.assign(h.count, 0);
    for (uint32_t k = 0; k < h.count; ++k) {
        const uint32_t from = reader.Offset(k);
        const uint32_t to = reader.Offset(k + 1);
        if (to <= from) order.Hit(k);
        uint32_t n = 0;
        if (from < tableEnd || !reader.SampleCount(k, n)) {
            outside.Hit(k);
            continue;
        }
        c.readable[k] = true;
        c.samples[k] = n;
        c.offsets[k] = from;
        if (knownCoding && CodedRecordBytes(h.coding, n, bytes) &&
            (to <= from || uint64_t{to} - from != 4 + bytes)) {
            lengths.Hit(k);
        }
    }
    order.Report(p);
    outside.Report(p);
    lengths.Report(p);
    return c;
}

bool ClipContainerWriter::Begin(File& out, const ClipHeader& header, uint32_t placeholder) {
    out_ = &out;
    next_ = 0;
    const uint64_t tableEnd = ClipTableEnd(header.count);
    if (tableEnd > UINT32_MAX || !out.SeekEnd()) return false;
    base_ = out.Tell();
    if (base_ < 0) return false;
    table_.assign(header.count + size_t{1}, placeholder);
    std::vector<unsigned char> raw(static_cast<size_t>(tableEnd));
    std::memcpy(raw.data(), header.bytes.data(), kClipHeaderSize);
    for (size_t k = 0; k < table_.size(); ++k) PutU32(&raw[kClipHeaderSize + 4 * k], placeholder);
    pos_ = tableEnd;
    return out.Write(raw.data(), raw.size()) && !out.Failed();
}

bool ClipContainerWriter::AddRecord(uint32_t samples, const void* data, size_t bytes) {
    const uint64_t end = pos_ + 4 + uint64_t{bytes};
    if (out_ == nullptr || next_ + size_t{1} >= table_.size() || end > UINT32_MAX) return false;
    table_[next_] = static_cast<uint32_t>(pos_);
    const bool ok = out_->WriteU32(samples) && (bytes == 0 || out_->Write(data, bytes));
    pos_ = end;
    ++next_;
    return ok && !out_->Failed();
}

bool ClipContainerWriter::AddSamples(const int16_t* samples, uint32_t n) {
    static_assert(sizeof(int16_t) == 2);
    if constexpr (std::endian::native == std::endian::little) {
        return AddRecord(n, samples, 2 * size_t{n});
    } else {
        std::vector<unsigned char> le(2 * size_t{n});
        for (uint32_t i = 0; i < n; ++i) PutU16(&le[2 * i], static_cast<uint16_t>(samples[i]));
        return AddRecord(n, le.data(), le.size());
    }
}

bool ClipContainerWriter::Finish() {
    if (out_ == nullptr || next_ + size_t{1} != table_.size()) return false;
    table_[next_] = static_cast<uint32_t>(pos_);
    std::vector<unsigned char> raw(4 * table_.size());
    for (size_t k = 0; k < table_.size(); ++k) PutU32(&raw[4 * k], table_[k]);
    return out_->Flush() && out_->Seek(base_ + kClipHeaderSize) &&
           out_->Write(raw.data(), raw.size()) && out_->Flush() && !out_->Failed();
}

}  // namespace qm
