#pragma once

#include "core/replay.h"

#include <chrono>
#include <cstdio>
#include <string>

// How long a replay is, counted before it is played, and how far it is, shown on a terminal.
namespace tideplot {

// The steps the replay of the race file takes to its end (at most `maxSteps` when that
// is 0 or more), replayed without drawing. Throws Error as the replay does.
long long CountReplaySteps(const std::string& raceFile, const ReplaySettings& settings, long long maxSteps = -1);

// A line on a terminal that says how far the video is: "video: 45 % (650 of 1445
// frames), 0:32 left", rewritten at most every 200 ms.
class VideoProgressLine {
public:
    VideoProgressLine(std::FILE* terminal, long long totalFrames);
    void update(long long framesDone);
    // Clears the line.
    void clear();

private:
    std::FILE* terminal_;
    long long total_;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point shown_;
    bool drawn_ = false;
};

} // namespace tideplot
