#!/usr/bin/env python3
"""Writes THIRD-PARTY-NOTICES.txt for the Windows programs from what the linker put in.

The linker's map of koravel.exe names every archive member it linked; each component is
listed only when a member of its own is among them, and a linked library that no rule
here accounts for stops the build instead of going unlisted. The texts come from the
sources that were built: Qt's qt_attribution.json files and licence files, curl's
COPYING, and Debian's copyright files of the mingw-w64 toolchain and nlohmann-json.

Usage: third_party_notices.py --map koravel.exe.map --qt-source DIR|TARBALL
           --curl-source DIR|TARBALL --version VERSION --out FILE
"""
import argparse
import json
import pathlib
import re
import sys
import tarfile

COMMON_LICENSES = pathlib.Path("/usr/share/common-licenses")
MINGW_COPYRIGHT = pathlib.Path("/usr/share/doc/mingw-w64-common/copyright")
GCC_COPYRIGHT = pathlib.Path("/usr/share/doc/gcc-mingw-w64-base/copyright")
JSON_COPYRIGHT = pathlib.Path("/usr/share/doc/nlohmann-json3-dev/copyright")

# Qt's bundled parts, by attribution Id: the archive and the members that carry them.
# Most are compiled into a Qt library (or #included by one of its sources) rather than
# being libraries of their own.
CRYPTO = ("libQt6Core.a", r"qcryptographichash\.cpp")
QT_PARTS = {
    "harfbuzz-ng": ("libQt6BundledHarfbuzz.a", r""),
    "libpng": ("libQt6BundledLibpng.a", r""),
    "pcre2": ("libQt6BundledPcre2.a", r""),
    "pcre2-sljit": ("libQt6BundledPcre2.a", r"pcre2_jit_compile"),
    "freetype": ("libQt6BundledFreetype.a", r""),
    "freetype-zlib": ("libQt6BundledFreetype.a", r""),
    "freetype-bdf": ("libQt6BundledFreetype.a", r"bdf"),
    "freetype-pcf": ("libQt6BundledFreetype.a", r"pcf"),
    "libjpeg": ("libQt6BundledLibjpeg.a", r""),
    "zlib": ("libQt6(Core|BundledZLIB)\\.a", r"(adler32|deflate|inflate|crc32|zutil)\.c"),
    "doubleconversion": ("libQt6Core.a", r"(bignum|double-to-string|string-to-double|strtod)"),
    "md4c": ("libQt6Gui.a", r"md4c\.c"),
    "tinycbor": ("libQt6Core.a", r"qcborstream(reader|writer)\.cpp"),
    "blake2": CRYPTO,
    "sha3_endian": CRYPTO,
    "sha3_keccak": CRYPTO,
    "md4": CRYPTO,
    "md5": CRYPTO,
    "sha1": CRYPTO,
    "rfc6234": CRYPTO,
    "easing": ("libQt6Core.a", r"qeasingcurve\.cpp"),
    "siphash": ("libQt6Core.a", r"qhash\.cpp"),
    "forkfd": ("libQt6Core.a", r"forkfd"),
    "unicode-character-database": ("libQt6Core.a", r"qchar\.cpp"),
    "unicode-cldr": ("libQt6Core.a", r"(qlocale|qtimezoneprivate)\.cpp"),
    "grayraster": ("libQt6Gui.a", r"qgrayraster\.c"),
    "smooth-scaling-algorithm": ("libQt6Gui.a", r"qimagescale\.cpp"),
    "xserverhelper": ("libQt6Gui.a", r"qregion\.cpp"),
    "webgradients": ("libQt6Gui.a", r"qbrush\.cpp"),
    "icc-sRGB-color-profile": ("libQt6Gui.a", r"qpdf\.cpp"),
    "aglfn": ("libQt6Gui.a", r"qpdf\.cpp"),
}

def linked_members(map_text):
    """{archive basename: {member, ...}} for every archive member in the link map."""
    members = {}
    for archive, member in re.findall(r"([^\s()]+\.a)\(([^)\s]+)\)", map_text):
        members.setdefault(pathlib.PurePath(archive).name, set()).add(member)
    return members


class Source:
    """A source tree, unpacked or as its tarball; files by their path inside it."""

    def __init__(self, path):
        self.path = pathlib.Path(path)
        self.files = {}
        if self.path.is_dir():
            return
        with tarfile.open(self.path) as tar:
            for entry in tar:
                name = entry.name.split("/", 1)[-1]
                if entry.isfile() and (name.endswith("qt_attribution.json") or
                                       re.search(r"(LICEN[CS]E|COPYING|_LICENSE)[^/]*$", name)):
                    self.files[name] = tar.extractfile(entry).read().decode("utf-8", "replace")

    def read(self, name):
        if self.path.is_dir():
            path = self.path / name
            return path.read_text(encoding="utf-8", errors="replace") if path.is_file() else None
        return self.files.get(str(pathlib.PurePosixPath(name)))

    def names(self, suffix):
        if self.path.is_dir():
            return [str(p.relative_to(self.path)) for p in self.path.rglob("*" + suffix)]
        return [n for n in self.files if n.endswith(suffix)]


def normalize(name):
    parts = []
    for part in name.split("/"):
        if part == "..":
            parts.pop()
        elif part not in ("", "."):
            parts.append(part)
    return "/".join(parts)


def qt_attributions(qt):
    entries = {}
    for name in qt.names("qt_attribution.json"):
        data = json.loads(qt.read(name), strict=False)
        for entry in data if isinstance(data, list) else [data]:
            folder = name.rsplit("/", 1)[0]
            license_file = entry.get("LicenseFile")
            entry["text"] = qt.read(normalize(f"{folder}/{license_file}")) if license_file else None
            entries[entry["Id"]] = entry
    return entries


def debian_paragraphs(path):
    """The paragraphs of a machine-readable Debian copyright file, as field dicts."""
    paragraphs = []
    for block in re.split(r"\n\s*\n(?=\S)", path.read_text(encoding="utf-8")):
        fields, key = {}, None
        for line in block.splitlines():
            if line[:1] in (" ", "\t") and key:
                fields[key] += "\n" + line
            elif ":" in line:
                key, value = line.split(":", 1)
                fields[key] = value.strip()
        paragraphs.append(fields)
    return paragraphs


def debian_excerpt(path, wanted):
    """The paragraphs whose Files match `wanted`, with the licence texts they name."""
    paragraphs = debian_paragraphs(path)
    texts = {p["License"].split("\n")[0]: p["License"] for p in paragraphs
             if "Files" not in p and "License" in p}
    out, named = [], set()
    for p in paragraphs:
        if "Files" in p and re.search(wanted, p["Files"]):
            out.append(f"Files: {p['Files']}\nCopyright: {p.get('Copyright', '')}\n"
                       f"License: {p['License']}")
            named.add(p["License"].split("\n")[0])
    for name in sorted(named):
        if name in texts and "\n" in texts[name]:
            out.append(f"License: {texts[name]}")
    return "\n\n".join(out).replace("\n .\n", "\n\n")


def gcc_exception():
    text = GCC_COPYRIGHT.read_text(encoding="utf-8")
    start = text.index("GCC RUNTIME LIBRARY EXCEPTION")
    end = text.index("2. No Weakening of GCC Copyleft.", start)
    end = text.index("\n\n", text.index("\n\n", end) + 2)
    return text[start:end].strip()


def main():
    parser = argparse.ArgumentParser()
    for option in ("--map", "--qt-source", "--curl-source", "--version", "--out"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()

    members = linked_members(pathlib.Path(args.map).read_text(encoding="utf-8", errors="replace"))
    qt = Source(args.qt_source)
    attributions = qt_attributions(qt)
    sections = []  # (title, licence line, body)

    modules = sorted(re.sub(r"^libQt6|\.a$", "", a) for a in members
                     if a.startswith("libQt6") and not a.startswith("libQt6Bundled"))
    plugins = sorted(re.sub(r"^lib|\.a$", "", a) for a in members
                     if re.fullmatch(r"libq\w+\.a", a))
    qt_version = re.search(r"qt6-base_([\d.]+)", args.qt_source)
    sections.append((
        f"Qt {qt_version.group(1) if qt_version else ''}".strip(),
        "LGPL-3.0-only (the full text is at the end)",
        f"Qt modules linked: {', '.join(modules)}; plugins: {', '.join(plugins)}.\n"
        "Copyright (C) The Qt Company Ltd. and other contributors.\n"
        "Qt is used under the GNU Lesser General Public License version 3; see \"How to\n"
        "relink or rebuild\" below."))

    used = set()
    for ident, (archive, member) in QT_PARTS.items():
        hits = [m for a, ms in members.items() if re.fullmatch(archive, a) for m in ms
                if re.search(member, m)]
        if not hits or ident not in attributions:
            continue
        used.add(archive)
        entry = attributions[ident]
        # Some versions are commit hashes or links: those stay in the body only.
        version = entry.get("Version") or ""
        version = f" {version}" if re.fullmatch(r"[\w.+-]{1,16}", version) else ""
        body = f"{entry.get('QtUsage', '')}\n{entry.get('Copyright', '').strip()}"
        if entry["text"]:
            body += "\n\n" + entry["text"].strip()
        else:
            body += "\n\n" + entry.get("License", "")
        licence = entry.get("LicenseId") or entry.get("License", "")
        sections.append((f"{entry['Name']}{version} (part of Qt)", licence, body))

    bundled = {a for a in members if a.startswith("libQt6Bundled")}
    missing = sorted(a for a in bundled if not any(re.fullmatch(u, a) for u in used))
    if missing:
        sys.exit(f"third_party_notices: no rule for the linked {', '.join(missing)}")

    if "libcurl.a" in members:
        curl = Source(args.curl_source)
        version = re.search(r"curl[_-]([\d.]+)", args.curl_source)
        sections.append((f"curl {version.group(1) if version else ''}".strip(), "curl",
                         "HTTP requests (libcurl), built HTTP only.\n\n" + curl.read("COPYING").strip()))

    if any(a in members for a in ("libstdc++.a", "libgcc.a", "libgcc_eh.a")):
        sections.append(("GCC runtime libraries (libstdc++, libgcc) of mingw-w64 GCC",
                         "GPL-3.0-or-later WITH GCC-exception-3.1",
                         "Copyright (C) Free Software Foundation, Inc.\n"
                         "The runtime libraries are under the GNU General Public License version 3\n"
                         "(the full text is at the end) with the GCC Runtime Library Exception,\n"
                         "which lets a program compiled with GCC carry them under its own terms:\n\n"
                         + gcc_exception()))
    if "libwinpthread.a" in members:
        sections.append(("winpthreads (mingw-w64)", "Expat AND BSD-3-Clause",
                         debian_excerpt(MINGW_COPYRIGHT,
                                        r"^mingw-w64-libraries/winpthreads/(\*|include|src)")))
    if "libmingwex.a" in members or "libmingw32.a" in members:
        sections.append(("mingw-w64 runtime", "ZPL-2.1 and others",
                         debian_excerpt(MINGW_COPYRIGHT, r"^(\*|mingw-w64-crt/)")))
    if re.search(r"nlohmann", pathlib.Path(args.map).read_text(errors="replace")):
        sections.append(("nlohmann-json (JSON for Modern C++)", "MIT",
                         debian_excerpt(JSON_COPYRIGHT, r"^(\*|include/)")))

    write(args, sections)


def write(args, sections):
    lines = [f"Third-party software in Koravel {args.version} for Windows",
             "=" * len(f"Third-party software in Koravel {args.version} for Windows"), "",
             "koravel.exe and koravel.com are built from Koravel's own source (MIT licence,",
             "LICENSE.txt) and the components below, all linked into the programs. This list",
             "is made from the linker's map of koravel.exe when the programs are built.", ""]
    for number, (title, licence, _) in enumerate(sections, 1):
        lines.append(f"{number:3}. {title} - {licence}")
    lines += ["", "How to relink or rebuild", "-" * 24, "",
              f"Koravel's complete source code, for this version ({args.version}) as for every",
              "other, is public, under the MIT licence. On Debian 12 it rebuilds these",
              "programs with one command, run in the source folder:", "",
              "    make windows", "",
              "It fetches the Qt and curl sources from Debian's archive (the versions listed",
              "above), builds them for Windows with mingw-w64 exactly as scripts/windows-deps",
              "says (the configure lines are written out there) and links koravel.exe and",
              "koravel.com against them. To run Koravel with a modified Qt, change the Qt",
              "source or its configure line in scripts/windows-deps and run `make windows`",
              "again: the Qt library is rebuilt and the programs are relinked with it. The",
              "same holds for every other component listed here.", ""]
    for number, (title, licence, body) in enumerate(sections, 1):
        heading = f"{number}. {title}"
        lines += ["", heading, "=" * len(heading), f"Licence: {licence}", "", body.strip(), ""]
    for name, path in (("GNU Lesser General Public License, version 3", "LGPL-3"),
                       ("GNU General Public License, version 3", "GPL-3")):
        lines += ["", name, "=" * len(name), "", (COMMON_LICENSES / path).read_text().strip(), ""]
    text = "\n".join(line.rstrip() for line in "\n".join(lines).splitlines()) + "\n"
    # Notepad wants CR LF.
    pathlib.Path(args.out).write_bytes(text.replace("\n", "\r\n").encode("utf-8"))


if __name__ == "__main__":
    main()
