// The cursor of a replay device.
#include "recording/replay.h"

namespace vyxsim::rec {

const char* AtEndName(AtEnd a) {
    switch (a) {
        case AtEnd::Hold: return "hold";
        case AtEnd::Fail: return "fail";
        default: return "loop";
    }
}

ReplayStatus Replay::Status() const {
    std::lock_guard lock(mutex_);
    ReplayStatus s;
    s.frames = recording_->frames.size();
    s.at_end = at_end_;
    s.stepping = stepping_;
    s.position = position_;
    s.last_frame = last_;
    s.last_timestamp_us = last_timestamp_;
    return s;
}

int64_t Replay::After(int64_t position, int64_t count) const {
    const int64_t n = static_cast<int64_t>(recording_->frames.size());
    switch (at_end_) {
        case AtEnd::Loop: return (position % n + count % n) % n;
        case AtEnd::Hold: return count >= n - 1 - position ? n - 1 : position + count;
        default: return count >= n - position ? n : position + count;
    }
}

bool Replay::Begin(std::size_t* index, uint64_t* ticket) const {
    std::lock_guard lock(mutex_);
    if (position_ >= static_cast<int64_t>(recording_->frames.size())) return false;
    *index = static_cast<std::size_t>(position_);
    *ticket = moves_;
    return true;
}

void Replay::Commit(std::size_t index, uint64_t ticket) {
    std::lock_guard lock(mutex_);
    last_ = static_cast<int64_t>(index);
    last_timestamp_ = recording_->frames[index].timestamp_us;
    if (ticket != moves_ || stepping_) return;
    position_ = After(static_cast<int64_t>(index), 1);
    ++moves_;
}

bool Replay::Seek(int64_t index) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int64_t>(recording_->frames.size())) return false;
    position_ = index;
    ++moves_;
    return true;
}

void Replay::SetStepping(bool on) {
    std::lock_guard lock(mutex_);
    stepping_ = on;
}

int64_t Replay::Step(int64_t count) {
    std::lock_guard lock(mutex_);
    if (count > 0) {
        position_ = After(position_, count);
        ++moves_;
    }
    return position_;
}

}  // namespace vyxsim::rec
