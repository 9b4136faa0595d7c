#include "input/lists.h"

#include <string_view>
#include <unordered_map>

#include "platform/file.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace qm {
namespace {

// One read of a list line takes at most this many bytes (a 1024-byte buffer
// with room for the terminator); a longer physical line is read in pieces.
constexpr size_t kLineRead = 1023;
// Longest prompt text, in bytes after trimming.
constexpr size_t kMaxTextBytes = 512;
// The text index numbers its texts with 16 bits.
constexpr size_t kMaxTexts = 65535;

bool IsListSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Removes single-byte white space at both ends. Trail bytes of double-byte
// characters are never white space (they are 0x40 and up), so this cannot cut
// a character in half.
std::string Trim(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && IsListSpace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && IsListSpace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string LineMessage(const char* text, size_t line) { return Format("%s第%zu行", text, line); }

// Reads a list file read by read, as the Windows text mode and a 1024-byte
// line buffer see it: a carriage return directly before a line feed is
// dropped, any other byte (a lone carriage return, 0x1A) is kept; a read ends
// after a line feed or after kLineRead bytes, and a NUL ends the text of the
// read it lies in.
class ListReader {
  public:
    bool Open(const std::string& name) {
        // Only a regular file is a list: a folder opens on this system but
        // has no lines, and a FIFO or device could keep the build waiting.
        return file_.OpenInput(name);
    }
    // The next read, false at the end of the file.
    bool Next(std::string& read) {
        read.clear();
        bool any = false;
        int c;
        while ((c = Get()) >= 0) {
            if (c == '\r') {
                int d = Get();
                if (d == '\n') {
                    c = '\n';
                } else if (d >= 0) {
                    Unget();
                }
            }
            any = true;
            read.push_back(static_cast<char>(c));
            if (c == '\n' || read.size() == kLineRead) break;
        }
        size_t nul = read.find('\0');
        if (nul != std::string::npos) read.resize(nul);
        return any;
    }

  private:
    int Get() {
        if (pos_ == len_) {
            len_ = file_.Read(buf_, sizeof buf_);
            pos_ = 0;
            if (len_ == 0) return -1;
        }
        return static_cast<unsigned char>(buf_[pos_++]);
    }
    // Steps back over the byte just taken (always still in the buffer).
    void Unget() { --pos_; }

    File file_;
    char buf_[8192];
    size_t pos_ = 0;
    size_t len_ = 0;
};

}  // namespace

bool ReadListLines(const std::string& name, std::vector<std::string>& lines) {
    ListReader reader;
    if (!reader.Open(name)) return false;
    std::string read;
    while (reader.Next(read)) lines.push_back(read);
    return true;
}

bool LoadPromptLists(std::vector<PromptEntry>& list, int32_t packageRate, const std::string& folder,
                     std::string& err) {
    ListReader textFile;
    ListReader waveFile;
    if (!textFile.Open("TextList.txt")) {
        err = "TextList.txt is empty！";
        return false;
    }
    if (!waveFile.Open("WaveList.txt")) {
        err = "WaveList.txt is empty！";
        return false;
    }

    // Texts: the first failing line decides. No more than kMaxTexts are
    // kept, so a huge list costs no more memory than the largest valid one.
    std::vector<std::string> texts;
    std::string read;
    for (size_t line = 1; textFile.Next(read); ++line) {
        std::string text = Trim(read);
        if (text.size() > kMaxTextBytes) {
            err = "the text length exceed the maximum limit（512 byte）!";
            return false;
        }
        if (text.empty()) {
            err = LineMessage("Text.txt is empty，Please check whether its format is correct！",
                              line);
            return false;
        }
        if (texts.size() == kMaxTexts) {
            err = "the number of texts exceed the maximum limit（65535）!";
            return false;
        }
        texts.push_back(std::move(text));
    }

    // Wave lines: every line is checked, but only as many are kept as there
    // are texts; beyond that the counts differ anyway.
    std::vector<std::string> waves;
    size_t waveCount = 0;
    for (size_t line = 1; waveFile.Next(read); ++line) {
        std::string name = Trim(read);
        if (name.empty()) {
            err = LineMessage("WaveList.txt is empty，Please check whether its format is correct！",
                              line);
            return false;
        }
        ++waveCount;
        if (waves.size() < texts.size()) waves.push_back(std::move(name));
    }

    if (waveCount == 0) {
        err = "WaveList.txt is empty or its format is correct！";
        return false;
    }
    if (texts.empty()) {
        err = "TextList.txt is empty or its format is correct！";
        return false;
    }
    if (texts.size() != waveCount) {
        err = "Inconsistent on the number of the Text and audio file！";
        return false;
    }

    list.reserve(list.size() + texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        PromptEntry e;
        e.text = std::move(texts[i]);
        e.listedName = std::move(waves[i]);
        // Names are code page 936 and often written on Windows: convert them,
        // and take every backslash character as a folder separator.
        std::string name = Cp936PathToUtf8(e.listedName);
        // An empty folder means the current directory, not the root.
        e.path = folder.empty() ? name : JoinPath(folder, name);
        if (!PathFileExists(e.path)) {
            err = Format("The Audio file %s is not exist！", Cp936ToUtf8(e.listedName).c_str());
            return false;
        }
        std::string ext = PathFindExtension(name);
        if (EqualsNoCase(ext, ".pcm")) {
            e.kind = AUDIO_PCM;
            e.sampleRate = packageRate;
        } else if (EqualsNoCase(ext, ".wav")) {
            e.kind = AUDIO_WAV;
            int32_t rate = 0;
            if (!CheckWaveHeader(e.path, err, rate)) return false;
            e.sampleRate = rate;
        } else {
            err = "the tool can only support PCM or WAV file！";
            return false;
        }
        list.push_back(std::move(e));
    }

    return !FindDuplicateText(list, err);
}

bool FindDuplicateText(const std::vector<PromptEntry>& list, std::string& err) {
    // Count every text once, then name the first entry in list order whose
    // text occurs more than once: the same answer as comparing each entry
    // with the whole list, in linear time.
    std::unordered_map<std::string_view, size_t> counts;
    counts.reserve(list.size());
    for (const PromptEntry& e : list) ++counts[e.text];
    for (const PromptEntry& e : list) {
        if (counts[e.text] >= 2) {
            err = Format("There have a repetitive text %s exist in file list",
                         Cp936ToUtf8(e.text).c_str());
            return true;
        }
    }
    return false;
}

}  // namespace qm
