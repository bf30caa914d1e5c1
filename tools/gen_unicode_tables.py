#!/usr/bin/env python3
"""Generate src/unicode/unicode_tables.cpp from the Unicode Character Database.

Usage:
    python3 tools/gen_unicode_tables.py [UCD_DIR] [OUTPUT]

    UCD_DIR  directory holding the UCD text files (default: /usr/share/unicode,
             where Debian's unicode-data package installs them)
    OUTPUT   file to write (default: src/unicode/unicode_tables.cpp next to this
             script's parent directory); "-" writes to standard output

Input files read from UCD_DIR:
    DerivedCoreProperties.txt   XID_Start, XID_Continue, Alphabetic
    PropList.txt                White_Space
    extracted/DerivedGeneralCategory.txt if present, otherwise UnicodeData.txt
                                general categories Nd, Nl and No

The generated file holds, for each property, a sorted table of inclusive
code point ranges above U+007F with adjacent ranges merged, plus a 128-entry
flag table covering ASCII so lookups of ASCII characters need no search.
The output depends only on the input files, so rerunning the script on the
same database reproduces the file byte for byte.
"""

import os
import re
import sys

SCRIPT = "tools/gen_unicode_tables.py"
MAX_CODE_POINT = 0x10FFFF
ASCII_LIMIT = 0x80

# ASCII flag bits; must match the AsciiFlag enumerators in unicode_tables.h.
ASCII_FLAGS = [
    ("xid_start", "ascii_xid_start", 1),
    ("xid_continue", "ascii_xid_continue", 2),
    ("white_space", "ascii_white_space", 4),
    ("alphanumeric", "ascii_alphanumeric", 8),
]

NUMBER_CATEGORIES = ("Nd", "Nl", "No")


def fail(message):
    sys.stderr.write("gen_unicode_tables: %s\n" % message)
    sys.exit(1)


def read_lines(path):
    try:
        with open(path, encoding="utf-8") as handle:
            return handle.read().splitlines()
    except OSError as error:
        fail("cannot read %s: %s" % (path, error))


def file_version(lines, stem, path):
    """Returns the version from a header line such as '# PropList-15.0.0.txt'."""
    pattern = re.compile(r"#\s*%s-(\d+\.\d+\.\d+)\.txt" % re.escape(stem))
    for line in lines[:5]:
        match = pattern.match(line)
        if match:
            return match.group(1)
    fail("%s has no '%s-<version>.txt' header line" % (path, stem))


def parse_code_points(field, path, number):
    parts = field.strip().split("..")
    try:
        first = int(parts[0], 16)
        last = int(parts[-1], 16)
    except ValueError:
        fail("%s:%d: bad code point field %r" % (path, number, field))
    if len(parts) > 2 or first > last or last > MAX_CODE_POINT:
        fail("%s:%d: bad code point range %r" % (path, number, field))
    return first, last


def parse_property_file(path, wanted):
    """Collects ranges for each property in `wanted` from a UCD property file.

    Lines look like '0041..005A    ; Alphabetic # comment'. Returns the lines
    (for the version header) and a dict from property name to range list.
    """
    lines = read_lines(path)
    found = {name: [] for name in wanted}
    for number, raw in enumerate(lines, 1):
        line = raw.split("#", 1)[0].strip()
        if not line:
            continue
        fields = [field.strip() for field in line.split(";")]
        if len(fields) < 2:
            fail("%s:%d: expected 'code points ; property'" % (path, number))
        if fields[1] in found:
            found[fields[1]].append(parse_code_points(fields[0], path, number))
    for name, ranges in found.items():
        if not ranges:
            fail("%s defines no code points for %s" % (path, name))
    return lines, found


def number_ranges_from_derived_category(path):
    _, found = parse_property_file(path, NUMBER_CATEGORIES)
    return [r for category in NUMBER_CATEGORIES for r in found[category]]


def number_ranges_from_unicode_data(path):
    """Collects Nd, Nl and No code points from UnicodeData.txt.

    Large blocks appear there as a '<..., First>' line followed by a
    '<..., Last>' line; both carry the block's general category.
    """
    ranges = []
    pending_first = None
    for number, raw in enumerate(read_lines(path), 1):
        if not raw.strip():
            continue
        fields = raw.split(";")
        if len(fields) < 3:
            fail("%s:%d: expected at least 3 fields" % (path, number))
        code_point, _ = parse_code_points(fields[0], path, number)
        name, category = fields[1], fields[2]
        if name.endswith(", First>"):
            pending_first = code_point
            continue
        first = code_point
        if name.endswith(", Last>"):
            if pending_first is None:
                fail("%s:%d: range end without a start" % (path, number))
            first = pending_first
        pending_first = None
        if category in NUMBER_CATEGORIES:
            ranges.append((first, code_point))
    if pending_first is not None:
        fail("%s: range start without an end" % path)
    if not ranges:
        fail("%s defines no Nd, Nl or No code points" % path)
    return ranges


def merge(ranges):
    """Sorts ranges and merges overlapping or adjacent ones."""
    merged = []
    for first, last in sorted(ranges):
        if merged and first <= merged[-1][1] + 1:
            merged[-1][1] = max(merged[-1][1], last)
        else:
            merged.append([first, last])
    return [tuple(r) for r in merged]


def split_ascii(ranges):
    """Returns (set of ASCII code points, ranges clipped to >= U+0080)."""
    ascii_members = set()
    upper = []
    for first, last in ranges:
        for c in range(first, min(last, ASCII_LIMIT - 1) + 1):
            ascii_members.add(c)
        if last >= ASCII_LIMIT:
            upper.append((max(first, ASCII_LIMIT), last))
    return ascii_members, upper


def format_range_table(name, ranges):
    out = ["const Range %s_ranges[] = {" % name]
    per_line = 4
    for i in range(0, len(ranges), per_line):
        chunk = ranges[i:i + per_line]
        out.append("    " + " ".join("{0x%05X, 0x%05X}," % r for r in chunk))
    out.append("};")
    out.append("const std::size_t %s_count = std::size(%s_ranges);" % (name, name))
    return out


def format_ascii_table(ascii_sets):
    out = ["const std::uint8_t ascii_flags[128] = {"]
    for row in range(0, ASCII_LIMIT, 8):
        cells = []
        for c in range(row, row + 8):
            names = [enum for prop, enum, _ in ASCII_FLAGS if c in ascii_sets[prop]]
            cells.append(" | ".join(names) if names else "0")
        label = "0x%02X-0x%02X" % (row, row + 7)
        out.append("    // %s" % label)
        out.append("    " + ", ".join(cells) + ",")
    out.append("};")
    return out


def generate(ucd_dir):
    core_path = os.path.join(ucd_dir, "DerivedCoreProperties.txt")
    prop_path = os.path.join(ucd_dir, "PropList.txt")
    core_lines, core = parse_property_file(
        core_path, ("XID_Start", "XID_Continue", "Alphabetic"))
    prop_lines, props = parse_property_file(prop_path, ("White_Space",))

    core_version = file_version(core_lines, "DerivedCoreProperties", core_path)
    prop_version = file_version(prop_lines, "PropList", prop_path)
    if core_version != prop_version:
        fail("version mismatch: DerivedCoreProperties %s, PropList %s"
             % (core_version, prop_version))
    sources = ["DerivedCoreProperties-%s.txt" % core_version,
               "PropList-%s.txt" % prop_version]

    category_path = os.path.join(ucd_dir, "extracted", "DerivedGeneralCategory.txt")
    if os.path.exists(category_path):
        category_version = file_version(
            read_lines(category_path), "DerivedGeneralCategory", category_path)
        if category_version != core_version:
            fail("version mismatch: DerivedGeneralCategory %s, DerivedCoreProperties %s"
                 % (category_version, core_version))
        numbers = number_ranges_from_derived_category(category_path)
        sources.append("extracted/DerivedGeneralCategory-%s.txt" % category_version)
    else:
        # UnicodeData.txt carries no version header; it ships with the files above.
        numbers = number_ranges_from_unicode_data(
            os.path.join(ucd_dir, "UnicodeData.txt"))
        sources.append("UnicodeData.txt")

    properties = [
        ("xid_start", "XID_Start", merge(core["XID_Start"])),
        ("xid_continue", "XID_Continue", merge(core["XID_Continue"])),
        ("white_space", "White_Space", merge(props["White_Space"])),
        ("alphanumeric", "Alphabetic + Nd + Nl + No",
         merge(core["Alphabetic"] + numbers)),
    ]

    ascii_sets = {}
    tables = []
    for name, description, ranges in properties:
        ascii_sets[name], upper = split_ascii(ranges)
        tables.append((name, description, upper))

    out = [
        "// Generated by %s from Unicode %s. Do not edit by hand." % (SCRIPT, core_version),
        "// Regenerate with: python3 %s [UCD_DIR] [OUTPUT]" % SCRIPT,
        "// (UCD_DIR defaults to /usr/share/unicode, OUTPUT to src/unicode/unicode_tables.cpp).",
        "//",
        "// Unicode version: %s" % core_version,
        "// Sources: %s" % ", ".join(sources),
        "",
        '#include "unicode/unicode_tables.h"',
        "",
        "#include <iterator>",
        "",
        "namespace ostrel::unicode::detail {",
        "",
        "// Properties of U+0000..U+007F as AsciiFlag bits.",
    ]
    out += format_ascii_table(ascii_sets)
    for name, description, ranges in tables:
        out.append("")
        out.append("// %s above U+007F: %d ranges, %d code points."
                   % (description, len(ranges), sum(l - f + 1 for f, l in ranges)))
        out += format_range_table(name, ranges)
    out.append("")
    out.append("}  // namespace ostrel::unicode::detail")
    return "\n".join(out) + "\n", core_version, tables


def main(argv):
    if len(argv) > 3 or any(arg in ("-h", "--help") for arg in argv[1:]):
        sys.stderr.write(__doc__)
        return 0 if len(argv) <= 3 else 2
    ucd_dir = argv[1] if len(argv) > 1 else "/usr/share/unicode"
    repo_root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    output = (argv[2] if len(argv) > 2
              else os.path.join(repo_root, "src", "unicode", "unicode_tables.cpp"))

    text, version, tables = generate(ucd_dir)
    if output == "-":
        sys.stdout.write(text)
    else:
        with open(output, "w", encoding="utf-8", newline="\n") as handle:
            handle.write(text)
    summary = ", ".join("%s %d ranges" % (name, len(r)) for name, _, r in tables)
    sys.stderr.write("gen_unicode_tables: Unicode %s: %s\n" % (version, summary))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
