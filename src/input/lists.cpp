#include "input/lists.h"

#include <cerrno>
#include <cstring>
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

namespace {

// Collects the problems of one list load, up to a limit.
class ProblemSink {
  public:
    ProblemSink(std::vector<Problem>& problems, size_t limit)
        : problems_(problems), limit_(limit) {}
    // Records a problem; false once the limit is reached and the load should stop.
    bool Add(Problem p) {
        problems_.push_back(std::move(p));
        return ++added_ < limit_;
    }
    bool Full() const { return added_ >= limit_; }

  private:
    std::vector<Problem>& problems_;
    size_t limit_;
    size_t added_ = 0;
};

Problem ListProblem(std::string message, const char* word, const char* file, size_t line,
                    const std::string& folder, std::string reason, std::string hint) {
    Problem p;
    p.message = std::move(message);
    p.word = word;
    p.file = file;
    p.line = line;
    p.path = folder.empty() ? std::string(file) : JoinPath(folder, file);
    p.reason = std::move(reason);
    p.hint = std::move(hint);
    return p;
}

}  // namespace

void ScanPromptLists(std::vector<PromptEntry>& list, int32_t packageRate, const std::string& folder,
                     size_t limit, std::vector<Problem>& problems) {
    ProblemSink sink(problems, limit == 0 ? 1 : limit);
    ListReader textFile;
    ListReader waveFile;
    const bool textOpen = textFile.Open("TextList.txt");
    int openErrno = errno;
    const bool waveOpen = textOpen && waveFile.Open("WaveList.txt");
    if (textOpen) openErrno = errno;
    if (!textOpen || !waveOpen) {
        const char* name = !textOpen ? "TextList.txt" : "WaveList.txt";
        std::string reason = !PathFileExists(name) ? std::string("there is no such file")
                             : PathIsDirectory(name)
                                 ? std::string("it is a folder")
                                 : std::string("it cannot be opened: ") + std::strerror(openErrno);
        sink.Add(ListProblem(
            Format("%s is empty！", name), "list-missing", name, 0, folder, std::move(reason),
            "put TextList.txt and WaveList.txt (one line per prompt) into the folder"));
        return;
    }

    // Texts, one per read; a refused line keeps its place (as an empty
    // text) so that the lines still pair up by number. No more than
    // kMaxTexts are kept, so a huge list costs no more memory than the
    // largest valid one.
    std::vector<std::string> texts;
    std::vector<bool> textOk;
    std::string read;
    for (size_t line = 1; textFile.Next(read); ++line) {
        std::string text = Trim(read);
        bool ok = true;
        if (text.size() > kMaxTextBytes) {
            ok = false;
            if (!sink.Add(ListProblem(
                    "the text length exceed the maximum limit（512 byte）!", "text-length",
                    "TextList.txt", line, folder,
                    Format("the text is %zu bytes long (code page 936), over the limit of 512",
                           text.size()),
                    "shorten the text or split it into two prompts")))
                return;
        } else if (text.empty()) {
            ok = false;
            if (!sink.Add(ListProblem(
                    LineMessage("Text.txt is empty，Please check whether its format is correct！",
                                line),
                    "text-empty", "TextList.txt", line, folder, "the line is empty or blank",
                    "remove the line from both lists, or give the prompt its text")))
                return;
        }
        if (texts.size() == kMaxTexts) {
            sink.Add(ListProblem("the number of texts exceed the maximum limit（65535）!",
                                 "text-count", "TextList.txt", line, folder,
                                 "the list holds more than 65535 texts",
                                 "split the prompts over several packages"));
            return;
        }
        texts.push_back(ok ? std::move(text) : std::string());
        textOk.push_back(ok);
    }

    // Wave lines: every line is checked, but only as many are kept as there
    // are texts; beyond that the counts differ anyway.
    std::vector<std::string> waves;
    size_t waveCount = 0;
    for (size_t line = 1; waveFile.Next(read); ++line) {
        std::string name = Trim(read);
        if (name.empty() &&
            !sink.Add(ListProblem(
                LineMessage("WaveList.txt is empty，Please check whether its format is correct！",
                            line),
                "wave-empty", "WaveList.txt", line, folder, "the line is empty or blank",
                "remove the line from both lists, or name the prompt's recording")))
            return;
        ++waveCount;
        if (waves.size() < texts.size()) waves.push_back(std::move(name));
    }

    if (waveCount == 0) {
        sink.Add(ListProblem("WaveList.txt is empty or its format is correct！", "wave-none",
                             "WaveList.txt", 0, folder, "the list holds no lines",
                             "name one recording per line, in the order of TextList.txt"));
        return;
    }
    if (texts.empty()) {
        sink.Add(ListProblem("TextList.txt is empty or its format is correct！", "text-none",
                             "TextList.txt", 0, folder, "the list holds no lines",
                             "write one prompt text per line, in the order of WaveList.txt"));
        return;
    }
    if (texts.size() != waveCount &&
        !sink.Add(ListProblem(
            "Inconsistent on the number of the Text and audio file！", "count-mismatch",
            "TextList.txt", 0, folder,
            Format("TextList.txt has %zu lines, WaveList.txt has %zu", texts.size(), waveCount),
            "give every text its recording on the same line number of WaveList.txt")))
        return;

    list.reserve(list.size() + texts.size());
    for (size_t i = 0; i < waves.size(); ++i) {
        if (waves[i].empty()) continue;  // refused above
        const size_t line = i + 1;
        PromptEntry e;
        e.text = std::move(texts[i]);
        e.listedName = std::move(waves[i]);
        e.line = line;
        // Names are code page 936 and often written on Windows: convert them,
        // and take every backslash character as a folder separator.
        std::string name = Cp936PathToUtf8(e.listedName);
        // An empty folder means the current directory, not the root.
        e.path = folder.empty() ? name : JoinPath(folder, name);
        const std::string listed = Cp936ToUtf8(e.listedName);
        auto entryProblem = [&](std::string message, const char* word, std::string reason,
                                std::string hint) {
            Problem p = ListProblem(std::move(message), word, "WaveList.txt", line, folder,
                                    std::move(reason), std::move(hint));
            p.path = e.path;
            p.more.push_back("recording: \"" + listed + "\" (" + e.path + ")");
            return sink.Add(std::move(p));
        };
        if (!PathFileExists(e.path)) {
            if (!entryProblem(Format("The Audio file %s is not exist！", listed.c_str()),
                              "wave-missing", "nothing exists at " + e.path,
                              "check the name's spelling and folder, or add the recording"))
                return;
            continue;
        }
        std::string ext = PathFindExtension(name);
        if (EqualsNoCase(ext, ".pcm")) {
            e.kind = AUDIO_PCM;
            e.sampleRate = packageRate;
        } else if (EqualsNoCase(ext, ".wav")) {
            e.kind = AUDIO_WAV;
            int32_t rate = 0;
            std::string err;
            Problem why;
            if (!CheckWaveHeader(e.path, err, rate, &why)) {
                if (!entryProblem(std::move(err), why.word.c_str(), why.reason, why.hint)) return;
                continue;
            }
            e.sampleRate = rate;
        } else {
            if (!entryProblem(
                    "the tool can only support PCM or WAV file！", "wave-kind",
                    ext.empty() ? std::string("the name has no extension")
                                : "the extension is \"" + ext + "\"",
                    "list a .wav or .pcm recording (`quillmark-cli conform` converts others)"))
                return;
            continue;
        }
        if (textOk[i]) list.push_back(std::move(e));
    }
    if (sink.Full()) return;

    // Every text that occurs more than once, named at its first line, in
    // list order; the first is the one a build reports.
    std::unordered_map<std::string_view, std::vector<size_t>> lines;
    lines.reserve(list.size());
    for (const PromptEntry& e : list) lines[e.text].push_back(e.line);
    for (const PromptEntry& e : list) {
        const std::vector<size_t>& at = lines[e.text];
        if (at.size() < 2 || at.front() != e.line) continue;
        Problem p = ListProblem(Format("There have a repetitive text %s exist in file list",
                                       Cp936ToUtf8(e.text).c_str()),
                                "text-duplicate", "TextList.txt", e.line, folder, "", "");
        std::string others;
        for (size_t k = 1; k < at.size(); ++k)
            others += (k > 1 ? ", " : "") + std::to_string(at[k]);
        p.reason = Format("the text \"%s\" is also on line%s %s", Cp936ToUtf8(e.text).c_str(),
                          at.size() > 2 ? "s" : "", others.c_str());
        p.hint = "every prompt text may occur once: remove or reword the repeats";
        if (!sink.Add(std::move(p))) return;
    }
}

bool LoadPromptLists(std::vector<PromptEntry>& list, int32_t packageRate, const std::string& folder,
                     std::string& err, Problem* why) {
    std::vector<Problem> problems;
    ScanPromptLists(list, packageRate, folder, 1, problems);
    if (problems.empty()) return true;
    err = problems.front().message;
    if (why != nullptr) *why = std::move(problems.front());
    return false;
}

}  // namespace qm
