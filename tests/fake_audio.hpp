// Audio files that exist only as lengths, for the walk and the writers run
// on sheets in memory.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "cue/cue_walk.hpp"
#include "tests/cue_samples.hpp"

namespace vorlin::test {

using namespace std::string_literals;

// Audio files by the name a FILE line gives: the name they are found under
// (in the folder "dir/") and what measuring them gives.
class FakeAudio : public AudioSource {
  public:
    struct File {
        std::string found;
        AudioLength length;
    };
    explicit FakeAudio(std::map<std::string, File, std::less<>> files) : files_(std::move(files)) {}

    bool find(std::string_view name, AudioFile& found) override {
        const auto it = files_.find(name);
        if (it == files_.end()) return false;
        found.name = it->second.found;
        found.path = "dir/" + found.name;
        return true;
    }
    AudioLength measure(const AudioFile& file) override {
        for (const auto& [name, entry] : files_)
            if (entry.found == file.name) return entry.length;
        return {0, Problem::audioOpenFailed};
    }

  private:
    std::map<std::string, File, std::less<>> files_;
};

// Three files: two open with their track's pregap, the third (found under
// another spelling) with an INDEX 01 and has an INDEX 02.
inline const std::string threeFiles = "REM x\n"s + twoTrackSheet +
                                      "FILE \"03.WAV\" WAVE\n"
                                      "  TRACK 03 AUDIO\n"
                                      "    INDEX 01 00:00:10\n"
                                      "    INDEX 02 00:00:20\n";

inline FakeAudio threeFilesAudio() {
    return FakeAudio({{"01.wav", {"01.wav", {13500, Problem::none}}},
                      {"02.wav", {"02.wav", {2000, Problem::none}}},
                      {"03.WAV", {"03.wav", {1000, Problem::none}}}});
}

} // namespace vorlin::test
