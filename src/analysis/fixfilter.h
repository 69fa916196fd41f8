#pragma once

// The fixes of a track as the analysis takes them: fixes no boat could have sailed to are
// left out, and a jump that stays splits the track. Internal to the motion analysis
// (motion.cpp).

#include "motion.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace tideplot::trackmotion {

// Faster than this no boat sails: a leg between two fixes that needs more is out of reach.
inline constexpr double kOutOfReachKnots = 50;
// A run of fixes out of reach of the track that lasts less than this is a glitch of the
// receiver; one that lasts longer is where the track goes on (a jump).
inline constexpr int kGlitchSeconds = 60;

// The metres between two fixes, plane sailing (the difference of longitude the short way,
// scaled by the cosine of the mid-latitude).
double LegMetres(const MotionSample& a, const MotionSample& b);

// Takes the fixes of a track in time order and hands on those the analysis keeps, each with
// whether the track jumped to it. A fix (or a run of fixes) out of reach of the track
// before it, while the track comes back within reach in less than kGlitchSeconds, is left
// out; so is the start of a track that lasts less than kGlitchSeconds before it jumps away
// for good (a receiver's first fixes). A run out of reach that lasts longer is where the
// track goes on: a jump, across which nothing is measured. Memory: the fixes of a minute.
class FixFilter {
public:
    using Take = std::function<void(const MotionSample&, bool afterJump)>;
    explicit FixFilter(Take take) : take_(std::move(take)) {}

    void add(const MotionSample& sample, long line);
    // The fixes still held handed on (or left out): call at the end of the track.
    void finish();

    long Glitches = 0; // fixes left out
    long FirstGlitchLine = 0;
    long Jumps = 0;
    long FirstJumpLine = 0;

private:
    struct Held {
        MotionSample Sample;
        long Line = 0;
    };
    void keep(const Held& fix);
    void leaveOut(const std::vector<Held>& fixes);
    void adoptSuspects();

    Take take_;
    bool haveLast_ = false;
    Held last_;                  // the last fix kept (or held)
    bool settled_ = false;       // the track since its start (or its last jump) has lasted kGlitchSeconds
    std::vector<Held> held_;     // the fixes kept but not handed on before it has
    std::vector<Held> suspects_; // fixes out of reach of last_
    bool jumped_ = false;        // the next fix handed on comes after a jump
};

} // namespace tideplot::trackmotion
