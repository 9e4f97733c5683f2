#!/usr/bin/env python3
"""Checks that the source tree keeps its layers: the folder is the layer.

  engine/    FFmpeg only: no Qt, and no other folder of ours
  core/      plain C++ over the engine: no Qt, no FFmpeg header
  controls/  Qt widgets that know nothing of the program
  ui/        Qt over controls, core and the engine
  cli/       the command line over core and the engine: no Qt

Outside the engine only its public headers may be included: those that bring no FFmpeg
header with them, directly or through another engine header. Tests, benchmarks and fuzz
targets may reach inside (they test the inner units).

Usage: check_layers.py ROOT      prints every breach, exits 1 when there is one
       check_layers.py --self-test   builds a tree with one breach of each kind and
                                     checks that each is found
"""
import os
import re
import sys
import tempfile

ALLOWED = {
    "engine": {"engine"},
    "core": {"core", "engine"},
    "controls": {"controls"},
    "ui": {"ui", "controls", "core", "engine"},
    "cli": {"cli", "core", "engine"},
}
NO_QT = {"engine", "core", "cli"}
NO_FFMPEG = {"core", "controls", "ui", "cli"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^(Q[A-Z]\w*|Qt\w*/.*|q\w+\.h)$")
FFMPEG_HEADER = re.compile(r"^(libav\w*|libsw\w*|libpostproc)/")
SOURCE = (".h", ".hpp", ".cpp", ".cc")


def includes(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE.match(line)
            if m:
                yield number, m.group(1) == '"', m.group(2)


def engine_headers_with_ffmpeg(root):
    """Engine headers that bring an FFmpeg header with them, directly or through others."""
    engine = os.path.join(root, "engine")
    direct, uses = set(), {}
    for name in os.listdir(engine) if os.path.isdir(engine) else []:
        if not name.endswith(".h"):
            continue
        rel = "engine/" + name
        uses[rel] = set()
        for _, quoted, target in includes(os.path.join(engine, name)):
            if not quoted and FFMPEG_HEADER.match(target):
                direct.add(rel)
            elif quoted and target.startswith("engine/"):
                uses[rel].add(target)
    inner = set(direct)
    changed = True
    while changed:
        changed = False
        for header, targets in uses.items():
            if header not in inner and targets & inner:
                inner.add(header)
                changed = True
    return inner


def check(root):
    breaches = []
    inner = engine_headers_with_ffmpeg(root)
    for layer, allowed in ALLOWED.items():
        top = os.path.join(root, layer)
        for folder, _, files in os.walk(top):
            for name in sorted(files):
                if not name.endswith(SOURCE):
                    continue
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, root)
                for number, quoted, target in includes(path):
                    where = f"{rel}:{number}: "
                    if quoted:
                        first = target.split("/", 1)[0]
                        if "/" not in target:
                            continue  # a file beside this one (moc output, for one)
                        if first in ALLOWED and first not in allowed:
                            breaches.append(where + f"{layer}/ may not include {target}")
                        elif first == "engine" and layer != "engine" and target in inner:
                            breaches.append(where + f"{target} is inside the engine (it brings FFmpeg with it)")
                    else:
                        if layer in NO_QT and QT_HEADER.match(target):
                            breaches.append(where + f"{layer}/ may not include the Qt header <{target}>")
                        if layer in NO_FFMPEG and FFMPEG_HEADER.match(target):
                            breaches.append(where + f"{layer}/ may not include the FFmpeg header <{target}>")
    return breaches


def self_test():
    cases = {
        "engine/bad_qt.cpp": ("#include <QString>\n", "Qt header"),
        "engine/bad_core.cpp": ('#include "core/ini_file.h"\n', "may not include core/"),
        "core/bad_ffmpeg.cpp": ("#include <libavcodec/avcodec.h>\n", "FFmpeg header"),
        "core/bad_ui.cpp": ('#include "ui/main_window.h"\n', "may not include ui/"),
        "core/bad_inner.cpp": ('#include "engine/inner_user.h"\n', "inside the engine"),
        "cli/bad_qt.cpp": ("#include <QtCore/QObject>\n", "Qt header"),
        "controls/bad_core.cpp": ('#include "core/time_text.h"\n', "may not include core/"),
        "ui/bad_ffmpeg.cpp": ("extern \"C\" {\n#include <libswscale/swscale.h>\n}\n", "FFmpeg header"),
    }
    good = {
        "engine/inner.h": "#include <libavformat/avformat.h>\n",
        "engine/inner_user.h": '#include "engine/inner.h"\n',
        "engine/public.h": "#include <string>\n",
        "engine/ok.cpp": '#include "engine/inner_user.h"\n#include <libavutil/avutil.h>\n',
        "core/ok.cpp": '#include "engine/public.h"\n#include "core/ok.h"\n',
        "ui/ok.cpp": '#include <QWidget>\n#include "controls/x.h"\n#include "core/y.h"\n#include "engine/public.h"\n',
        "cli/ok.cpp": '#include "core/y.h"\n#include "engine/public.h"\n',
    }
    with tempfile.TemporaryDirectory() as root:
        for rel, text in list(good.items()) + [(k, v[0]) for k, v in cases.items()]:
            os.makedirs(os.path.dirname(os.path.join(root, rel)), exist_ok=True)
            with open(os.path.join(root, rel), "w") as f:
                f.write(text)
        found = check(root)
    failures = 0
    for rel, (_, words) in cases.items():
        hits = [b for b in found if b.startswith(rel + ":") and words in b]
        if len(hits) != 1:
            print(f"self-test: the breach in {rel} ({words}) was not found exactly once: {found}")
            failures += 1
    extra = [b for b in found if not any(b.startswith(rel + ":") for rel in cases)]
    for b in extra:
        print(f"self-test: a sound file was reported: {b}")
        failures += 1
    print("self-test: every breach was found" if not failures else f"self-test: {failures} problem(s)")
    return 1 if failures else 0


def main(argv):
    if len(argv) == 2 and argv[1] == "--self-test":
        return self_test()
    if len(argv) != 2:
        print(__doc__)
        return 2
    breaches = check(argv[1])
    for b in breaches:
        print(b)
    print("the layers are kept" if not breaches else f"{len(breaches)} breach(es) of the layers")
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
