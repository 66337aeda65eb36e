"""Writes the Python module's docstrings as HTML pages (pydoc), one per
module: the module given and, for a package, every module in it.

    python3 pydoc_html.py OUT_DIR [MODULE]        (MODULE: morvex)

Exits non-zero, saying why, when the module cannot be imported or a page
is not written.
"""
import importlib
import os
import pkgutil
import pydoc
import sys


def main():
    out = os.path.abspath(sys.argv[1])
    name = sys.argv[2] if len(sys.argv) > 2 else "morvex"
    os.makedirs(out, exist_ok=True)
    os.chdir(out)  # pydoc writes NAME.html into the working folder
    module = importlib.import_module(name)
    modules = [module]
    for info in pkgutil.walk_packages(getattr(module, "__path__", []), name + "."):
        modules.append(importlib.import_module(info.name))
    for m in modules:
        pydoc.writedoc(m)
        if not os.path.isfile(m.__name__ + ".html"):
            sys.exit("pydoc wrote no page for %s" % m.__name__)


if __name__ == "__main__":
    main()
