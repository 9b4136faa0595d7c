// quillmark-cli decode: the coded bytes of one clip back to raw samples.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace qm {

struct DecodeArgs {
    std::string codec;  // "alaw", "adpcm" or "g7231"
    std::string in;
    std::string out;
    long long samples = -1;  // --samples N, -1 when not given
};

// Adds the `decode` subcommand to app; its options land in args.
CLI::App* AddDecodeCommand(CLI::App& app, DecodeArgs& args);

// Runs the command: 0 when OUT holds the decoded samples, 1 with a message on
// standard error otherwise (OUT then is as it was).
int RunDecode(const DecodeArgs& args);

}  // namespace qm
