#pragma once

#include "upload/work_events.h"

#include <cstdint>
#include <ostream>
#include <vector>

namespace tovelin::test {

// One work event as the observer saw it.
struct WorkEvent
{
    bool begin;
    TWorkMode mode;
    std::int64_t value;

    friend bool operator==(const WorkEvent&, const WorkEvent&) = default;
    friend std::ostream& operator<<(std::ostream& out, const WorkEvent& event)
    {
        return out << (event.begin ? "OnWorkBegin(" : "OnWork(")
                   << (event.mode == TWorkMode::wmRead ? "wmRead, " : "wmWrite, ") << event.value
                   << ")";
    }
};

inline WorkEvent begin(TWorkMode mode, std::int64_t value)
{
    return {true, mode, value};
}

inline WorkEvent work(TWorkMode mode, std::int64_t value)
{
    return {false, mode, value};
}

class WorkRecorder : public WorkObserver
{
public:
    void OnWorkBegin(TWorkMode mode, std::int64_t countMax) override
    {
        events.push_back(begin(mode, countMax));
    }
    void OnWork(TWorkMode mode, std::int64_t count) override
    {
        events.push_back(work(mode, count));
    }

    std::vector<WorkEvent> only(TWorkMode mode) const
    {
        std::vector<WorkEvent> picked;
        for (const WorkEvent& event : events) {
            if (event.mode == mode) {
                picked.push_back(event);
            }
        }
        return picked;
    }

    std::vector<WorkEvent> events;
};

} // namespace tovelin::test
