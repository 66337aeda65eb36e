// pattern_object.h - MvPattern: a pattern's templates and the guard's profile
// of it, shared read-only by any number of trackers and counting its
// holders. Internal to the core.
#ifndef MORVEX_TRACKER_PATTERN_OBJECT_H
#define MORVEX_TRACKER_PATTERN_OBJECT_H

#include "../pattern/profile.h"
#include "../pattern/templates.h"
#include "morvex/tracker.h"

#include <atomic>
#include <string>

struct MvPattern {
    mutable std::atomic<int> holds{1};   // the maker's hold, plus one per tracker
    std::string name;
    mvcore::PatternTemplate templates;
    mvcore::PatternProfile profile;   // for the trackers' guard
};

namespace mvcore {

// One more holder; the pattern stays until every holder released it.
inline MvPattern *hold(const MvPattern *p)
{
    p->holds.fetch_add(1, std::memory_order_relaxed);
    return const_cast<MvPattern *>(p);
}

}  // namespace mvcore

#endif
