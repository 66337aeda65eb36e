// confusion - how often a tracker names a picture marker wrongly, and how
// often rightly: the confusion set (glyphs, shapes, random cells, textures,
// gradients, the project's pictures) made into markers and patterns, every
// picture rendered in 1152 views (widths 24..160 px, tilts 0..60 degrees,
// four rolls, blur 0..1.5 px, noise 0..10 grey levels, plain, gradient and
// cluttered backgrounds) while all the patterns are loaded into one
// tracker.
//
//   confusion [--step N] [--jobs N] [--guard on|off] [--no-extra]
//
//   --step N    every N-th view of each picture only (default 1: all)
//   --jobs N    threads (default 2)
//   --guard     the tracker's guard for picture patterns (default on;
//               off: the bare correlation rule)
//   --no-extra  skip the runs with a view's own pattern left out, with the
//               bundled pattern alone, and of the turned pairs
//
// Tables (run from build/bin):
//   all loaded     per marker width (its shortest side in the frame): views,
//                  square found, named right, refused (id -1), named wrong
//                  (another pattern), and ids given to squares elsewhere
//   conditions     named right per tilt, blur and noise, markers >= 40 px
//   own left out   the same views with the view's own pattern not loaded:
//                  every id given is wrong
//   bundled alone  the bundled pattern alone, views of the other pictures
//   turned pairs   pictures that are turns of each other loaded together
//                  with the whole set: named as the other, as itself
//   worst          the pictures named right least often (>= 40 px), and the
//                  wrong names given, most frequent first
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "confusion.h"
#include "tool_support.h"

namespace {

struct Count {
    long views = 0, found = 0, right = 0, refused = 0, wrong = 0, stray = 0;
    void add(const confusion::Outcome &o, int truth)
    {
        views++;
        found += o.found;
        right += o.found && o.id == truth;
        refused += o.found && o.id < 0;
        wrong += o.found && o.id >= 0 && o.id != truth;
        stray += o.stray;
    }
    void add(const Count &c)
    {
        views += c.views;
        found += c.found;
        right += c.right;
        refused += c.refused;
        wrong += c.wrong;
        stray += c.stray;
    }
};

const double kBins[] = {0, 20, 30, 40, 60, 100, 1e9};
constexpr int kBinCount = 6;

int bin_of(double side)
{
    for (int b = 0; b < kBinCount; b++)
        if (side < kBins[b + 1]) return b;
    return kBinCount - 1;
}

std::string bin_name(int b)
{
    char s[32];
    if (kBins[b + 1] > 1e8)
        std::snprintf(s, sizeof s, ">= %g px", kBins[b]);
    else
        std::snprintf(s, sizeof s, "%g-%g px", kBins[b], kBins[b + 1]);
    return s;
}

double pct(long a, long b) { return b ? 100.0 * a / b : 0.0; }

struct Tally {
    Count bins[kBinCount];
    std::map<std::string, Count> conditions;    // markers >= 40 px
    std::vector<Count> per_picture;             // markers >= 40 px
    std::map<std::pair<int, int>, std::pair<long, double>> wrong_names;   // (truth, named) -> count, top confidence
    long out_views = 0, out_found = 0, out_named = 0;   // own pattern left out
    std::map<std::pair<int, int>, std::pair<long, double>> out_names;
    long alone_views = 0, alone_found = 0, alone_named = 0;
    double alone_top = 0;
    std::map<std::pair<int, int>, std::pair<long, double>> alone_names;   // (truth, bundled) -> count, top
    std::map<std::pair<int, int>, std::pair<long, double>> stray_names;   // (truth, named) -> count

    void add(const confusion::View &v, const confusion::Outcome &all, const confusion::Outcome &without,
             const confusion::Outcome &alone, bool extra, int project)
    {
        const int truth = v.picture;
        bins[bin_of(all.side_px)].add(all, truth);
        if (all.stray) {
            auto &w = stray_names[{truth, all.stray_id}];
            w.first += all.stray;
            w.second = std::max(w.second, all.stray_confidence);
        }
        if (all.found && all.id >= 0 && all.id != truth) {
            auto &w = wrong_names[{truth, all.id}];
            w.first++;
            w.second = std::max(w.second, all.confidence);
        }
        if (all.side_px >= 40) {
            char key[64];
            std::snprintf(key, sizeof key, "tilt %2.0f deg", v.tilt);
            conditions[key].add(all, truth);
            std::snprintf(key, sizeof key, "blur %.1f px", v.blur);
            conditions[key].add(all, truth);
            std::snprintf(key, sizeof key, "noise %2.0f", v.noise);
            conditions[key].add(all, truth);
            per_picture[truth].add(all, truth);
        }
        if (!extra) return;
        out_views++;
        out_found += without.found;
        if (without.found && without.id >= 0) {
            out_named++;
            auto &w = out_names[{truth, without.id}];
            w.first++;
            w.second = std::max(w.second, without.confidence);
        }
        if (truth != project) {
            alone_views++;
            alone_found += alone.found;
            if (alone.found && alone.id >= 0) {
                alone_named++;
                alone_top = std::max(alone_top, alone.confidence);
                auto &w = alone_names[{truth, alone.id}];
                w.first++;
                w.second = std::max(w.second, alone.confidence);
            }
        }
    }
};

void usage_exit(const char *why)
{
    std::fprintf(stderr, "confusion: %s\nusage: confusion [--step N] [--jobs N] [--guard on|off] [--no-extra]\n", why);
    std::exit(2);
}

}  // namespace

int main(int argc, char **argv)
{
    long step = 1, jobs = 2;
    bool guard = true, extra = true;
    for (int i = 1; i < argc; i++) {
        const std::string w = argv[i];
        const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (w == "--step" && next && mvtool::parseWhole(next, 1, 1000, &step)) {
            i++;
        } else if (w == "--jobs" && next && mvtool::parseWhole(next, 1, 64, &jobs)) {
            i++;
        } else if (w == "--guard" && next && (!std::strcmp(next, "on") || !std::strcmp(next, "off"))) {
            guard = !std::strcmp(next, "on");
            i++;
        } else if (w == "--no-extra") {
            extra = false;
        } else {
            usage_exit(("cannot use '" + w + "'").c_str());
        }
    }
    const auto start = std::chrono::steady_clock::now();
    const std::vector<confusion::Picture> set = confusion::pictureSet();
    if (!confusion::glyphsAvailable())
        std::printf("note: no glyphs (build with libfreetype-dev, install fonts-dejavu-core)\n");
    std::vector<MvPattern *> patterns;
    for (const confusion::Picture &p : set) {
        patterns.push_back(confusion::makePattern(p));
        if (patterns.back() == nullptr) return 1;
    }
    const int project = confusion::projectIndex(set);
    confusion::Bench::Options opt;
    opt.settings.guard = guard ? 1 : 0;
    opt.leave_one_out = extra;
    opt.bundled_alone = extra;

    std::map<std::string, int> kinds;
    for (const confusion::Picture &p : set) kinds[p.kind]++;
    std::printf("confusion set: %zu pictures (", set.size());
    for (auto it = kinds.begin(); it != kinds.end(); ++it)
        std::printf("%s%d %s", it == kinds.begin() ? "" : ", ", it->second, it->first.c_str());
    const std::vector<confusion::View> views = confusion::viewGrid(set.size(), (int)step);
    std::printf("), %zu views, guard %s\n", views.size(), guard ? "on" : "off");

    Tally total;
    total.per_picture.resize(set.size());
    std::mutex lock;
    std::atomic<size_t> next{0};
    std::vector<std::string> notes;
    auto work = [&](int job) {
        confusion::Bench bench(set, patterns, opt);
        if (job == 0) notes = bench.notes();
        Tally mine;
        mine.per_picture.resize(set.size());
        for (size_t k; (k = next.fetch_add(1)) < views.size();) {
            confusion::Outcome all, without, alone;
            bench.look(views[k], &all, extra ? &without : nullptr, extra ? &alone : nullptr);
            mine.add(views[k], all, without, alone, extra, project);
        }
        std::lock_guard<std::mutex> g(lock);
        for (int b = 0; b < kBinCount; b++) total.bins[b].add(mine.bins[b]);
        for (auto &c : mine.conditions) total.conditions[c.first].add(c.second);
        for (size_t p = 0; p < set.size(); p++) total.per_picture[p].add(mine.per_picture[p]);
        for (auto &w : mine.wrong_names) {
            auto &t = total.wrong_names[w.first];
            t.first += w.second.first;
            t.second = std::max(t.second, w.second.second);
        }
        for (auto &w : mine.out_names) {
            auto &t = total.out_names[w.first];
            t.first += w.second.first;
            t.second = std::max(t.second, w.second.second);
        }
        total.out_views += mine.out_views;
        total.out_found += mine.out_found;
        total.out_named += mine.out_named;
        total.alone_views += mine.alone_views;
        total.alone_found += mine.alone_found;
        total.alone_named += mine.alone_named;
        total.alone_top = std::max(total.alone_top, mine.alone_top);
        for (auto *m : {&mine.alone_names, &mine.stray_names})
            for (auto &w : *m) {
                auto &t = (m == &mine.alone_names ? total.alone_names : total.stray_names)[w.first];
                t.first += w.second.first;
                t.second = std::max(t.second, w.second.second);
            }
    };
    std::vector<std::thread> threads;
    for (int j = 0; j < jobs; j++) threads.emplace_back(work, j);
    for (std::thread &t : threads) t.join();

    for (const std::string &n : notes) std::printf("note: %s\n", n.c_str());
    std::printf("\nall loaded        views    found    right  refused    wrong | right/found  wrong  strays\n");
    Count all, big;
    for (int b = 0; b < kBinCount; b++) {
        const Count &c = total.bins[b];
        all.add(c);
        if (kBins[b] >= 40) big.add(c);
        std::printf("  %-12s %8ld %8ld %8ld %8ld %8ld | %9.2f %% %6ld %7ld\n", bin_name(b).c_str(), c.views, c.found,
                    c.right, c.refused, c.wrong, pct(c.right, c.found), c.wrong, c.stray);
    }
    std::printf("  %-12s %8ld %8ld %8ld %8ld %8ld | %9.2f %% %6ld %7ld\n", ">= 40 px", big.views, big.found,
                big.right, big.refused, big.wrong, pct(big.right, big.found), big.wrong, big.stray);
    std::printf("  %-12s %8ld %8ld %8ld %8ld %8ld | %9.2f %% %6ld %7ld\n", "all", all.views, all.found, all.right,
                all.refused, all.wrong, pct(all.right, all.found), all.wrong, all.stray);
    std::printf("  false identifications: %ld in %ld marker views (%ld named squares elsewhere)\n", all.wrong,
                all.found, all.stray);

    std::printf("\nconditions (>= 40 px)  found    right | right/found\n");
    for (auto &c : total.conditions)
        std::printf("  %-16s %8ld %8ld | %9.2f %%\n", c.first.c_str(), c.second.found, c.second.right,
                    pct(c.second.right, c.second.found));

    if (extra) {
        std::printf("\nown left out      views    found    named (all wrong)\n");
        std::printf("  %-12s %8ld %8ld %8ld\n", "all", total.out_views, total.out_found, total.out_named);
        std::printf("\nbundled alone     views    found    named as the bundled pattern (top confidence)\n");
        std::printf("  %-12s %8ld %8ld %8ld  (%.3f)\n", "others", total.alone_views, total.alone_found,
                    total.alone_named, total.alone_top);
    }

    std::printf("\nworst pictures (>= 40 px)              found    right | right/found\n");
    std::vector<int> order(set.size());
    for (size_t p = 0; p < set.size(); p++) order[p] = (int)p;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return pct(total.per_picture[a].right, total.per_picture[a].found) <
               pct(total.per_picture[b].right, total.per_picture[b].found);
    });
    for (size_t k = 0; k < std::min<size_t>(10, order.size()); k++) {
        const Count &c = total.per_picture[order[k]];
        std::printf("  %-34s %8ld %8ld | %9.2f %%\n", set[order[k]].name.c_str(), c.found, c.right, pct(c.right, c.found));
    }
    auto list_names = [&](const char *title, const std::map<std::pair<int, int>, std::pair<long, double>> &names) {
        std::vector<std::pair<std::pair<int, int>, std::pair<long, double>>> w(names.begin(), names.end());
        std::stable_sort(w.begin(), w.end(), [](const auto &a, const auto &b) { return a.second.first > b.second.first; });
        std::printf("\n%s: %zu pairs of pictures\n", title, w.size());
        for (size_t k = 0; k < std::min<size_t>(15, w.size()); k++)
            std::printf("  %-26s as %-26s %6ld views, confidence up to %.3f\n", set[w[k].first.first].name.c_str(),
                        set[w[k].first.second].name.c_str(), w[k].second.first, w[k].second.second);
    };
    list_names("wrong names, all loaded", total.wrong_names);
    list_names("names given to squares elsewhere (the view's picture, the name)", total.stray_names);
    if (extra) list_names("wrong names, own left out", total.out_names);
    if (extra) list_names("named as the bundled pattern, alone", total.alone_names);

    if (extra) {
        // Each turned pair loaded together with the whole set.
        const auto pairs = confusion::turnedPairs();
        std::printf("\nturned pairs (with the whole set)        views  found  as other  as itself  refused\n");
        for (const auto &pr : pairs) {
            // A member already in the set is that picture; the other joins it.
            std::vector<confusion::Picture> with = set;
            std::vector<MvPattern *> pats = patterns;
            std::vector<MvPattern *> own;
            auto place = [&](const confusion::Picture &p) {
                for (size_t k = 0; k < set.size(); k++)
                    if (set[k].name == p.name) return (int)k;
                with.push_back(p);
                own.push_back(confusion::makePattern(p));
                pats.push_back(own.back());
                return (int)with.size() - 1;
            };
            const int a = place(pr.first), b = place(pr.second);
            confusion::Bench::Options o = opt;
            o.leave_one_out = o.bundled_alone = false;
            confusion::Bench bench(with, pats, o);
            long views_n = 0, found = 0, other = 0, itself = 0, refused = 0;
            for (const confusion::View &v : confusion::viewGrid(with.size(), 8)) {
                if (v.picture != a && v.picture != b) continue;
                confusion::Outcome o1;
                bench.look(v, &o1);
                views_n++;
                found += o1.found;
                other += o1.found && o1.id == (v.picture == a ? b : a);
                itself += o1.found && o1.id == v.picture;
                refused += o1.found && o1.id < 0;
            }
            std::printf("  %-12s and %-17s %9ld %6ld %9ld %10ld %8ld\n", pr.first.name.c_str(), pr.second.name.c_str(),
                        views_n, found, other, itself, refused);
            for (const std::string &n : bench.notes())
                if (n.find(pr.first.name) != std::string::npos && n.find(pr.second.name) != std::string::npos)
                    std::printf("    note: %s\n", n.c_str());
            for (MvPattern *p : own) mvPatternRelease(p);
        }
    }
    for (MvPattern *p : patterns) mvPatternRelease(p);
    std::printf("\n%.0f s\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return 0;
}
