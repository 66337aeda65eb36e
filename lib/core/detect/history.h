// history.h - the frame-to-frame history that steadies marker identities:
// a marker that matches a recent one in size and place inherits its
// identity when its own match is weaker, and an identified marker that went
// missing is reported again, as last seen, for up to two frames. Internal
// to the core.
#ifndef MORVEX_DETECT_HISTORY_H
#define MORVEX_DETECT_HISTORY_H

#include "morvex/detect.h"

#include <cstddef>
#include <vector>

namespace mvcore {

// Identities below this confidence are dropped (id -1).
constexpr double kIdentityMin = 0.5;

// Sets id -1 on every marker whose confidence is below kIdentityMin.
void drop_weak_identities(MvMarkerInfo *markers, int count);

class History {
public:
    // capacity: identified markers remembered (a full history keeps what it
    // has); 0 for no limit.
    explicit History(int capacity = 0) : capacity_(capacity) {}

    // This frame's markers against the history: identities carried over,
    // weak ones dropped, the history aged and updated, and missing markers
    // re-added at the end of `markers` while it holds fewer than
    // `table_capacity` (0: no limit). Throws std::bad_alloc when storage
    // cannot grow (the history then keeps its old entries).
    void apply(std::vector<MvMarkerInfo> &markers, size_t table_capacity);

    void reset() { entries_.clear(); }
    // Whether some remembered marker looks like m (size and place), so that
    // m may inherit its identity.
    bool remembers(const MvMarkerInfo &m) const;
    // Forgets the markers of identity `id` (a pattern removed), which would
    // otherwise be lent on or re-added.
    void forget(int id);

private:
    struct Entry {
        MvMarkerInfo marker;
        int age;   // 1 in the frame it was stored, +1 per later frame
    };
    void carry_identities(std::vector<MvMarkerInfo> &markers) const;
    void age();
    void store_identified(const std::vector<MvMarkerInfo> &markers);
    void readd_missing(std::vector<MvMarkerInfo> &markers, size_t table_capacity) const;

    int capacity_;
    std::vector<Entry> entries_;
};

}  // namespace mvcore

#endif
