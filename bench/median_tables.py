#!/usr/bin/env python3
"""Cell-wise median of several runs of one table (detect_bench or
peer_compare output): rows are matched by their leading words, every number
after them becomes the median of the runs.

    for i in 1 2 3; do build/bin/detect_bench > run$i.txt; done
    bench/median_tables.py run1.txt run2.txt run3.txt
"""
import re
import statistics
import sys


def number(word):
    try:
        return float(word.rstrip('%'))
    except ValueError:
        return None


def split(line):
    words = line.split()
    k = 0
    while k < len(words) and number(words[k]) is None:
        k += 1
    return tuple(words[:k]), words[k:]


def main(paths):
    if not paths:
        sys.exit(__doc__.strip())
    runs = []
    for path in paths:
        try:
            with open(path) as f:
                runs.append([line.rstrip('\n') for line in f if line.strip()])
        except OSError as e:
            sys.exit(f"median_tables: {path}: {e.strerror}")
    rows = [dict(split(line) for line in run) for run in runs]
    for line in runs[0]:
        key = split(line)[0]
        out, pos, i = '', 0, 0
        # Each number keeps its right edge, so the columns stay aligned.
        for m in re.finditer(r'\S+', line):
            gap, word = line[pos:m.start()], m.group()
            pos = m.end()
            if len(out.split()) < len(key):
                out += gap + word
                continue
            values = [number(r[key][i]) for r in rows if key in r and i < len(r[key])]
            i += 1
            if number(word) is None:
                out += gap + word
                continue
            places = len(word.rstrip('%').partition('.')[2])
            text = f"{statistics.median(v for v in values if v is not None):.{places}f}"
            text += '%' if word.endswith('%') else ''
            out += ' ' * max(1, len(gap) + len(word) - len(text)) + text
        print(out)

if __name__ == '__main__':
    main(sys.argv[1:])
