/* history.cpp - identities carried from frame to frame. */
#include "history.h"

namespace mvcore {

namespace {

const int kHistoryLife = 3;

// Does current marker b look like the earlier marker a (similar size, centres
// closer than about 0.7 times the side)? *q receives the closeness measure.
bool corresponds(const MvMarkerInfo &a, const MvMarkerInfo &b, double *q)
{
    double ratio = (double)a.area / b.area;
    if (ratio < 0.7 || ratio > 1.43) return false;
    double dx = b.center[0] - a.center[0];
    double dy = b.center[1] - a.center[1];
    *q = (dx * dx + dy * dy) / b.area;
    return *q < 0.5;
}

}  // namespace

void drop_weak_identities(MvMarkerInfo *markers, int count)
{
    for (int i = 0; i < count; i++)
        if (markers[i].confidence < kIdentityMin) markers[i].id = -1;
}

void History::carry_identities(std::vector<MvMarkerInfo> &markers) const
{
    const int num = (int)markers.size();
    for (const Entry &e : entries_) {
        const MvMarkerInfo &old = e.marker;
        int best = -1;
        double best_q = 0.0;
        for (int i = 0; i < num; i++) {
            double q;
            if (!corresponds(old, markers[i], &q)) continue;
            if (best < 0 || q < best_q) {
                best = i;
                best_q = q;
            }
        }
        if (best < 0) continue;
        MvMarkerInfo &m = markers[best];
        if (m.confidence >= old.confidence) continue;
        m.confidence = old.confidence;
        m.id = old.id;
        // Which rotation of the current corners lines up with the old ones
        // tells how far the marker's corner 0 moved along the outline.
        double dmin = 100000000.0;
        int kbest = -1;
        for (int k = 0; k < 4; k++) {
            double s = 0.0;
            for (int n = 0; n < 4; n++) {
                double dx = old.vertices[n][0] - m.vertices[(k + n) % 4][0];
                double dy = old.vertices[n][1] - m.vertices[(k + n) % 4][1];
                s += dx * dx + dy * dy;
            }
            if (s < dmin) {
                dmin = s;
                kbest = k;
            }
        }
        m.direction = kbest < 0 ? -1 : (old.direction - kbest + 4) % 4;
    }
}

void History::age()
{
    size_t kept = 0;
    for (size_t h = 0; h < entries_.size(); h++) {
        entries_[h].age++;
        if (entries_[h].age > kHistoryLife) continue;
        if (kept != h) entries_[kept] = entries_[h];
        kept++;
    }
    entries_.resize(kept);
}

void History::store_identified(const std::vector<MvMarkerInfo> &markers)
{
    for (const MvMarkerInfo &m : markers) {
        if (m.id < 0) continue;
        size_t h;
        for (h = 0; h < entries_.size(); h++)
            if (entries_[h].marker.id == m.id) break;
        if (h == entries_.size()) {
            // A full history keeps what it has.
            if (capacity_ > 0 && (int)entries_.size() == capacity_) continue;
            entries_.push_back({m, 1});
        } else {
            entries_[h] = {m, 1};
        }
    }
}

void History::readd_missing(std::vector<MvMarkerInfo> &markers, size_t table_capacity) const
{
    for (const Entry &e : entries_) {
        // Markers re-added for earlier entries count as seen as well.
        bool seen = false;
        for (size_t i = 0; i < markers.size() && !seen; i++) {
            double q;
            seen = corresponds(e.marker, markers[i], &q);
        }
        if (seen || (table_capacity > 0 && markers.size() >= table_capacity)) continue;
        markers.push_back(e.marker);
    }
}

bool History::remembers(const MvMarkerInfo &m) const
{
    double q;
    for (const Entry &e : entries_)
        if (corresponds(e.marker, m, &q)) return true;
    return false;
}

void History::forget(int id)
{
    size_t kept = 0;
    for (size_t h = 0; h < entries_.size(); h++)
        if (entries_[h].marker.id != id) entries_[kept++] = entries_[h];
    entries_.resize(kept);
}

void History::apply(std::vector<MvMarkerInfo> &markers, size_t table_capacity)
{
    // Storage first, so that running out of memory leaves the history and
    // the markers as they were.
    entries_.reserve(entries_.size() + markers.size());
    markers.reserve(table_capacity > 0 ? table_capacity : markers.size() + entries_.size());
    carry_identities(markers);
    drop_weak_identities(markers.data(), (int)markers.size());
    age();
    store_identified(markers);
    readd_missing(markers, table_capacity);
}

}  // namespace mvcore
