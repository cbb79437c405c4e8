#!/usr/bin/env python3
"""Checks that the product's folders include only downward:

    core/                 portable: its own headers and the standard library, no Win32 header
    win/                  core, win
    archive/, payload/    core, win, and their own folder
    setup/, langset/      everything below, and their own folder (not each other)
    tools/                core, tools, and (the Windows build of the authoring tool, which writes
                          installers) win and payload; never setup/ or langset/

  check_includes.py ROOT     prints every include that breaks a rule; exit 1 if any does
  check_includes.py --self-test
"""
import os
import re
import sys
import tempfile

ALLOWED = {
    "core": {"core"},
    "win": {"core", "win"},
    "archive": {"core", "win", "archive"},
    "payload": {"core", "win", "payload"},
    "setup": {"core", "win", "archive", "payload", "setup"},
    "langset": {"core", "win", "langset"},
    "tools": {"core", "win", "payload", "tools"},
}
# System headers of the Win32 API that the portable core must not see.
WIN32_HEADERS = re.compile(
    r"(windows|winbase|windef|winnt|winuser|winerror|commctrl|commdlg|shlobj|shellapi|shlwapi|"
    r"psapi|objbase|ole2|tchar|wtypes|process|io|direct)\.h$", re.IGNORECASE)
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def violations(root):
    found = []
    for layer, allowed in ALLOWED.items():
        base = os.path.join(root, layer)
        for folder, _, files in os.walk(base):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, root)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        kind, target = m.groups()
                        close = ">" if kind == "<" else '"'
                        where = f"{rel}:{number}: #include {kind}{target}{close}"
                        if kind == "<":
                            if layer == "core" and WIN32_HEADERS.fullmatch(target.rsplit("/", 1)[-1]):
                                found.append(f"{where}: a Win32 header in the portable core")
                            continue
                        top = target.split("/", 1)[0] if "/" in target else None
                        if top in ALLOWED and top not in allowed:
                            found.append(f"{where}: {layer}/ may include only {', '.join(sorted(allowed))}")
    return found


def self_test():
    cases = [
        ("clean tree", {"core/A.h": '#include <cstdint>\n', "win/B.cpp": '#include <windows.h>\n#include "core/A.h"\n',
                        "setup/C.cpp": '#include "archive/D.h"\n#include "win/B.h"\n'}, 0),
        ("upward include from the core", {"core/A.h": '#include "setup/Globals.h"\n'}, 1),
        ("<windows.h> in the core", {"core/A.cpp": '  #  include <Windows.h>\n'}, 1),
        ("sideways between archive and payload", {"archive/A.cpp": '#include "payload/Resources.h"\n'}, 1),
        ("the helpers reaching up", {"win/A.cpp": '#include "archive/PatchArchive.h"\n'}, 1),
        ("the switcher using the installer", {"langset/A.cpp": '#include "setup/UserMessage.h"\n'}, 1),
        ("a tool using the installer's windows", {"tools/A.cpp": '#include "payload/Resources.h"\n#include "setup/Globals.h"\n'}, 1),
    ]
    failed = 0
    for what, files, expected in cases:
        with tempfile.TemporaryDirectory() as root:
            for rel, text in files.items():
                os.makedirs(os.path.dirname(os.path.join(root, rel)), exist_ok=True)
                with open(os.path.join(root, rel), "w") as f:
                    f.write(text)
            got = len(violations(root))
            if got != expected:
                print(f"self-test FAILED: {what}: {got} violations, expected {expected}")
                failed += 1
    if failed:
        return 1
    print("INCLUDE CHECK SELF-TEST PASSED")
    return 0


def main():
    if len(sys.argv) == 2 and sys.argv[1] == "--self-test":
        return self_test()
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    found = violations(sys.argv[1])
    for v in found:
        print(v)
    if found:
        print(f"INCLUDE CHECK FAILED: {len(found)} includes run against the layers")
        return 1
    print("INCLUDE CHECK PASSED")
    return 0


if __name__ == "__main__":
    sys.exit(main())
