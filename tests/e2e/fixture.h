// Generated audio folders with lists, recordings, the user's own files and a
// skeleton package, for whole builds through the command line.
#pragma once

#include <string>
#include <vector>

#include "e2e/cli_support.h"
#include "platform/text.h"

namespace qmtest {

struct Prompt {
    std::string text;  // UTF-8
    std::string name;  // as listed (UTF-8, backslashes allowed)
    uint32_t rate;     // 0: raw PCM
    size_t samples;
};

inline const std::vector<Prompt> kPrompts = {
    {"欢迎使用", "a8.wav", 8000, 4000},
    {"请输入密码", "b11.WAV", 11025, 5000},
    {"电量不足", "录音\\c16.wav", 16000, 7000},
    {"音量30", "d22.Wav", 22050, 9000},
    {"网络已连接", "sub\\e44.wav", 44100, 20000},
    {"GPS信号弱", "f48.wav", 48000, 24000},
    {"再见", "g.pcm", 0, 3000},
};

// Prompts enough for a build that lasts a while.
inline std::vector<Prompt> ManyPrompts(int n, size_t samples) {
    std::vector<Prompt> many;
    for (int i = 0; i < n; ++i)
        many.push_back(
            {"提示" + std::to_string(i), "p" + std::to_string(i) + ".wav", 44100, samples});
    return many;
}

// An audio folder with the prompts, the user's own files, and a package.
struct Fixture {
    TempDir dir;
    std::string audio = dir / "audio";
    std::string package = dir / "in.irf";

    explicit Fixture(int rate = 16000, const std::vector<Prompt>& prompts = kPrompts) {
        std::string texts, waves;
        for (const Prompt& p : prompts) {
            const std::string file = Native(p.name);
            auto samples = ToneSamples(p.samples, 9000.0, p.rate ? p.rate : rate);
            WriteFile(audio + "/" + file, p.rate ? WavBytes(samples, p.rate) : PcmBytes(samples));
            texts += qm::Utf8ToCp936(p.text) + "\r\n";
            waves += qm::Utf8ToCp936(p.name) + "\r\n";
        }
        WriteFile(audio + "/TextList.txt", texts);
        WriteFile(audio + "/WaveList.txt", waves);
        WriteFile(audio + "/keep.dat", "user data");
        WriteFile(audio + "/notes.log", "user log");
        WriteFile(audio + "/Prompt.dat", "another user file");
        CliResult r =
            RunCli({"init-package", package, "--rate", std::to_string(rate), "--extra", "3"});
        EXPECT_EQ(r.exit, 0) << r.err;
    }

    std::vector<std::string> Args(const std::string& type, const std::string& code,
                                  const std::vector<std::string>& extra = {}) const {
        std::vector<std::string> args = {"build", "--type", type,     "--audio", audio,
                                         "--irf", package,  "--code", code};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    CliResult Build(const std::string& type, const std::string& code,
                    const std::vector<std::string>& extra = {}, const RunOptions& opt = {}) const {
        return RunCli(Args(type, code, extra), opt);
    }
};

// Role folders for role builds: role k (ID 40 + k) has prompts + k
// recordings in folder rk, except the third, whose folder has a Chinese name
// written with a backslash, as lists from Windows are.
inline void AddRoles(const Fixture& f, int prompts = 2, int roles = 2) {
    std::string ini = "[RoleInfo]\r\nCount=" + std::to_string(roles) + "\r\n";
    for (int k = 0; k < roles; ++k) {
        const std::string listed = k == 2 ? "说话人\\二" : "r" + std::to_string(k);
        const std::string folder = f.audio + "/" + (k == 2 ? "说话人/二" : listed);
        std::string texts, waves;
        for (int p = 0; p < prompts + k; ++p) {
            const std::string name = "p" + std::to_string(p) + ".wav";
            WriteFile(folder + "/" + name, WavBytes(ToneSamples(2000 + 700 * p, 7000.0), 16000));
            texts +=
                qm::Utf8ToCp936("角色" + std::to_string(k) + "第" + std::to_string(p)) + "\r\n";
            waves += name + "\r\n";
        }
        WriteFile(folder + "/TextList.txt", texts);
        WriteFile(folder + "/WaveList.txt", waves);
        ini += "RoleID" + std::to_string(k + 1) + "=" + std::to_string(40 + k) + "\r\n";
        ini += "RolePath" + std::to_string(k + 1) + "=" + qm::Utf8ToCp936(listed) + "\r\n";
    }
    WriteFile(f.audio + "/Config.ini", ini);
}

}  // namespace qmtest
