// A replay device's source: the loaded recording and the device's cursor
// over its frames (shared by every handle of the device). The cursor moves
// only by captures, seek and step; what happens at the end of the recording
// is the device's `at_end`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "recording/recording.h"

namespace vyxsim::rec {

enum class AtEnd { Loop, Hold, Fail };
const char* AtEndName(AtEnd a);

struct ReplayStatus {
    std::size_t frames = 0;
    AtEnd at_end = AtEnd::Loop;
    bool stepping = false;
    int64_t position = 0;    // the index the next capture hands out (frames: none left)
    int64_t last_frame = -1;  // the index the last capture handed out
    uint64_t last_timestamp_us = 0;
};

class Replay {
public:
    Replay(std::shared_ptr<const Recording> recording, AtEnd at_end)
        : recording_(std::move(recording)), at_end_(at_end) {}

    const Recording& recording() const { return *recording_; }
    AtEnd at_end() const { return at_end_; }

    ReplayStatus Status() const;

    // A capture: Begin gives the frame at the cursor (false when at_end is
    // Fail and every frame has been handed out) and a ticket; Commit, once
    // the frame is handed out, records it and moves the cursor on (unless
    // stepping, or unless seek or step moved the cursor meanwhile: that
    // position then stands for the next capture).
    bool Begin(std::size_t* index, uint64_t* ticket) const;
    void Commit(std::size_t index, uint64_t ticket);

    // Control. Seek: 0 <= index < frames. Step: count >= 0 frames on, with
    // at_end applied (Loop wraps, Hold stops at the last frame, Fail may go
    // one past the end); returns the new position.
    bool Seek(int64_t index);
    void SetStepping(bool on);
    int64_t Step(int64_t count);

private:
    int64_t After(int64_t position, int64_t count) const;  // the caller holds mutex_

    const std::shared_ptr<const Recording> recording_;
    const AtEnd at_end_;
    mutable std::mutex mutex_;  // guards everything below
    int64_t position_ = 0;
    int64_t last_ = -1;
    uint64_t last_timestamp_ = 0;
    bool stepping_ = false;
    uint64_t moves_ = 0;  // counts every change of the cursor
};

}  // namespace vyxsim::rec
