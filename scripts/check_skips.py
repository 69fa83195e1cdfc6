#!/usr/bin/env python3
"""Fails when a test was skipped anywhere but at the few GTEST_SKIP sites the suites keep for cases
a machine legitimately cannot run (no /dev/full, a check that only means something for bitmaps in
temporary files). A missing tool or sample fails its test instead of skipping it; this keeps a
skip from creeping back in, and keeps the sites few.

Usage: scripts/check_skips.py <source tree> <folder of GoogleTest XML results> [...]
"""
import pathlib
import re
import sys
import xml.etree.ElementTree as ElementTree

MOST_SITES = 6


def skip_sites(source):
    """The file:line of every GTEST_SKIP in the test sources, relative to the tree."""
    sites = set()
    for path in sorted((source / "tests").rglob("*")):
        if path.suffix not in (".cpp", ".h") or "data" in path.relative_to(source).parts:
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            if "GTEST_SKIP" in line:
                sites.add(f"{path.relative_to(source)}:{number}")
    return sites


def site_of(message, source):
    """The file:line a skip message starts with, relative to the tree; the compiler names the file
    from the build folder ("../tests/...") or by its absolute path."""
    where = re.match(r"(\S+?):(\d+)$", message.splitlines()[0] if message else "")
    if not where:
        return "an unknown place"
    path = pathlib.Path(where.group(1))
    if path.is_absolute():
        path = path.resolve().relative_to(source) if path.resolve().is_relative_to(source) else path
    else:
        path = pathlib.Path(*[part for part in path.parts if part != ".."])
    return f"{path}:{where.group(2)}"


def skipped_tests(results, source):
    """(test, where it skipped) for every skipped test of every XML file under the folders."""
    for folder in results:
        for report in sorted(pathlib.Path(folder).glob("*.xml")):
            for case in ElementTree.parse(report).iter("testcase"):
                skipped = case.find("skipped")
                if skipped is None:
                    continue
                name = f"{case.get('classname')}.{case.get('name')} ({report.stem})"
                yield name, site_of(skipped.get("message", ""), source)


def main():
    source = pathlib.Path(sys.argv[1]).resolve()
    sites = skip_sites(source)
    problems = []
    if len(sites) > MOST_SITES:
        problems.append(f"{len(sites)} GTEST_SKIP sites in tests/, at most {MOST_SITES}: a missing "
                        "tool or sample must fail its test, naming the package")
    for name, where in skipped_tests(sys.argv[2:], source):
        if where not in sites:
            problems.append(f"{name} was skipped at {where}, not at a kept GTEST_SKIP site")
    for problem in problems:
        print(f"check_skips: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
