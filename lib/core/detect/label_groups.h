// label_groups.h - what both labellings share: storage grown on need and
// the groups of provisional labels joined while scanning. Internal to
// detect/.
#ifndef MORVEX_DETECT_LABEL_GROUPS_H
#define MORVEX_DETECT_LABEL_GROUPS_H

#include <cstddef>
#include <vector>

namespace mvcore {

// Grows v to at least n elements; never shrinks it, so storage is reused
// from frame to frame.
template <typename T>
void ensure(std::vector<T> &v, size_t n)
{
    if (v.size() < n) v.resize(n);
}

// The representative (smallest label) of provisional label p's group, with
// path halving. parent[p - 1] is label p's parent (labels are 1-based).
inline int find_root(int *parent, int p)
{
    while (parent[p - 1] != p) {
        parent[p - 1] = parent[parent[p - 1] - 1];
        p = parent[p - 1];
    }
    return p;
}

}  // namespace mvcore

#endif
