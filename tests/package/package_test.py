#!/usr/bin/env python3
"""The Debian package of a build folder, as apt, lintian and a user meet it.

    package_test.py --build DIR --source DIR --version X.Y.Z --cpack CPACK --appstream-id ID

Packs the build folder with cpack (nothing is rebuilt), unpacks the package with dpkg-deb
into a temporary folder and checks:
  - the file name, the control fields and the list of files;
  - that Depends, with what its packages depend on in turn, holds the package of every
    library the program links (ldd, the loader included) and of every library it loads
    when first needed: the unpacked program writes a video over an MBTiles map of WebP
    tiles and imports a KMZ archive, and the dynamic loader's own log (LD_DEBUG) names
    every object it loaded;
  - the manual page: it reads without groff warnings and names every command and option
    that the program's --help texts name; the changelog's latest entry is this version;
  - appstreamcli, desktop-file-validate and lintian (no error, no warning), each when it is
    installed.
Exits 77 (skipped) without dpkg-deb.
"""
import argparse
import gzip
import os
import re
import shutil
import sqlite3
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

failures = []


def fail(what):
    failures.append(what)
    print("FAILED: " + what, flush=True)


def run(args, **kwargs):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kwargs)


def have(program):
    return shutil.which(program) is not None


def package_name(field):
    """'libqt6core6:amd64 (>= 6.4.0)' -> 'libqt6core6'."""
    return re.split(r"[\s:(]", field.strip(), maxsplit=1)[0]


def alternatives(relation_field):
    """A Depends field as a list of groups of alternative package names."""
    return [[package_name(alt) for alt in group.split("|")] for group in relation_field.split(",") if group.strip()]


class InstalledPackages:
    """What dpkg knows of this machine's installed packages: their relations and files."""

    def __init__(self):
        fields = "${Package}\t${db:Status-Status}\t${Depends}\t${Pre-Depends}\t${Provides}\n"
        out = subprocess.run(["dpkg-query", "-W", "-f=" + fields], stdout=subprocess.PIPE, text=True,
                             check=True).stdout
        self.depends = {}
        self.providers = {}
        for line in out.splitlines():
            name, status, depends, predepends, provides = line.split("\t")
            if status != "installed":
                continue
            self.depends[name] = alternatives(depends) + alternatives(predepends)
            for virtual in alternatives(provides):
                self.providers.setdefault(virtual[0], set()).add(name)

    def satisfying(self, name):
        """The installed packages that satisfy a relation on `name`."""
        found = set(self.providers.get(name, ()))
        if name in self.depends:
            found.add(name)
        return found

    def closure(self, groups):
        """Every installed package reached from `groups` through Depends and Pre-Depends."""
        seen = set()
        todo = [name for group in groups for alt in group for name in self.satisfying(alt)]
        while todo:
            name = todo.pop()
            if name in seen:
                continue
            seen.add(name)
            todo.extend(n for group in self.depends.get(name, ()) for alt in group for n in self.satisfying(alt))
        return seen

    @staticmethod
    def owners(paths):
        """The package that holds each library of `paths` (dpkg may know it under /usr or
        not, or by the file a link leads to), None for a file of no package; one dpkg-query
        for all, as each takes a tenth of a second."""
        names = {}
        for path in paths:
            names[path] = [path, os.path.realpath(path)]
            names[path] += [p[4:] if p.startswith("/usr/") else "/usr" + p for p in names[path]]
        every = sorted({name for candidates in names.values() for name in candidates})
        out = subprocess.run(["dpkg-query", "-S"] + every, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             text=True).stdout
        holder = {}
        for line in out.splitlines():
            if not line.startswith("diversion ") and ": " in line:
                packages, name = line.split(": ", 1)
                holder[name] = package_name(packages.split(",")[0])
        return {path: next((holder[n] for n in candidates if n in holder), None) for path, candidates in names.items()}


def check_libraries(what, paths, reached):
    for path, owner in sorted(InstalledPackages.owners(paths).items()):
        if owner is None:
            fail(f"{what}: no installed package holds {path}")
        elif owner not in reached:
            fail(f"{what}: {path} is in package {owner}, which Depends does not bring")


def one_pixel_png():
    """A PNG picture of one blue pixel."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(b"\x00\x50\x80\xc0")) + chunk(b"IEND", b""))


def make_mbtiles(path, work):
    """A map of one WebP tile of the whole world (zoom 0), drawn enlarged at any zoom; a PNG
    tile when ImageMagick cannot write WebP. Returns the tile's format."""
    tile_format = "webp"
    tile = os.path.join(work, "tile." + tile_format)
    if not have("convert") or run(["convert", "-size", "256x256", "xc:#5080c0", tile]).returncode != 0:
        tile_format = "png"
        tile = os.path.join(work, "tile.png")
        with open(tile, "wb") as f:
            f.write(one_pixel_png())
    db = sqlite3.connect(path)
    db.executescript("CREATE TABLE metadata (name TEXT, value TEXT);"
                     "CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, tile_data BLOB);")
    db.executemany("INSERT INTO metadata VALUES (?, ?)",
                   [("name", "test"), ("format", tile_format), ("minzoom", "0"), ("maxzoom", "0")])
    with open(tile, "rb") as f:
        db.execute("INSERT INTO tiles VALUES (0, 0, 0, ?)", (f.read(),))
    db.commit()
    db.close()
    return tile_format


def make_kmz(path):
    kml = ('<?xml version="1.0" encoding="UTF-8"?>\n'
           '<kml xmlns="http://www.opengis.net/kml/2.2"><Document>\n' + "".join(
               f"<Placemark><TimeStamp><when>2008-06-21T11:00:0{s}Z</when></TimeStamp>"
               f"<Point><coordinates>11.5{s},57.6,0</coordinates></Point></Placemark>\n" for s in range(3)) +
           "</Document></kml>\n")
    with zipfile.ZipFile(path, "w") as z:
        z.writestr("doc.kml", kml)


def loaded_objects(log_prefix):
    """Every shared object the dynamic loader's logs (LD_DEBUG=libs) say it initialised."""
    objects = set()
    folder, prefix = os.path.split(log_prefix)
    for name in os.listdir(folder):
        if name.startswith(prefix + "."):
            with open(os.path.join(folder, name), errors="replace") as f:
                for line in f:
                    m = re.search(r"calling init: (/\S+)", line)
                    if m:
                        objects.add(m.group(1))
    return objects


def main():
    parser = argparse.ArgumentParser()
    for option in ("--build", "--source", "--version", "--cpack", "--appstream-id"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    if not have("dpkg-deb") or not have("dpkg-query"):
        print("dpkg-deb is not installed: no package to check")
        return 77
    work = tempfile.mkdtemp(prefix="tideplot-package-")
    try:
        check(args, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print(f"\n{len(failures)} check(s) failed")
        return 1
    print("the package passed every check")
    return 0


def check(args, work):
    arch = subprocess.run(["dpkg", "--print-architecture"], stdout=subprocess.PIPE, text=True).stdout.strip()
    packed = run([args.cpack, "--config", os.path.join(args.build, "CPackConfig.cmake"), "-B", work])
    deb = os.path.join(work, f"tideplot_{args.version}_{arch}.deb")
    if packed.returncode != 0 or not os.path.isfile(deb):
        fail(f"cpack wrote no {os.path.basename(deb)}:\n{packed.stdout}")
        return
    root = os.path.join(work, "root")
    subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
    control = {}
    for line in subprocess.run(["dpkg-deb", "-f", deb], stdout=subprocess.PIPE, text=True).stdout.splitlines():
        if not line.startswith(" ") and ":" in line:
            key, value = line.split(":", 1)
            control[key] = value.strip()

    # The control fields apt and the software centres read.
    for key, expected in (("Package", "tideplot"), ("Version", args.version), ("Architecture", arch)):
        if control.get(key) != expected:
            fail(f"control field {key} is {control.get(key)!r}, not {expected!r}")
    for key in ("Maintainer", "Description", "Section", "Homepage", "Depends"):
        if not control.get(key):
            fail(f"control field {key} is missing")

    # The files, each where a Debian system looks for it.
    sample = os.path.join(args.source, "examples", "sample-race")
    expected = {
        "usr/bin/tideplot",
        "usr/share/applications/tideplot.desktop",
        "usr/share/mime/packages/tideplot.xml",
        "usr/share/icons/hicolor/scalable/apps/tideplot.svg",
        f"usr/share/metainfo/{args.appstream_id}.metainfo.xml",
        "usr/share/man/man1/tideplot.1.gz",
        "usr/share/doc/tideplot/README.md",
        "usr/share/doc/tideplot/FAQ.md",
        "usr/share/doc/tideplot/LICENSE",
        "usr/share/doc/tideplot/third-party-licences.md",
        "usr/share/doc/tideplot/copyright",
        "usr/share/doc/tideplot/changelog.gz",
    } | {f"usr/share/doc/tideplot/examples/sample-race/{name}" for name in os.listdir(sample)}
    found = set()
    for folder, _, files in os.walk(root):
        found |= {os.path.relpath(os.path.join(folder, name), root) for name in files}
    # The module that draws, in the program's library folder (lib, or lib/TRIPLET under /usr).
    module = [path for path in found if re.fullmatch(r"usr/lib/([^/]+/)?tideplot/tideplot-gui\.so", path)]
    if len(module) != 1:
        fail(f"the package holds no usr/lib/TRIPLET/tideplot/tideplot-gui.so, or more than one: {module}")
    expected |= set(module)
    for path in sorted(expected - found):
        fail(f"the package lacks {path}")
    for path in sorted(found - expected):
        fail(f"the package holds {path}, which it should not")
    program = os.path.join(root, "usr/bin/tideplot")
    if not os.path.isfile(program):
        return
    version = run([program, "--version"])
    if version.stdout.strip() != f"Tideplot {args.version}":
        fail(f"tideplot --version says {version.stdout.strip()!r}")

    # Depends: the packages of everything the program loads, linked or loaded when needed.
    print("Depends: " + control.get("Depends", ""))
    installed = InstalledPackages()
    groups = alternatives(control.get("Depends", ""))
    for group in groups:
        if not any(installed.satisfying(name) for name in group):
            fail(f"Depends names {' | '.join(group)}, which is not installed here (misspelt, or missing from "
                 "scripts/install-deps.sh)")
    reached = installed.closure(groups)
    ldd = run(["ldd", program])
    linked = set(re.findall(r"(?:=> )?(/\S+) \(0x", ldd.stdout))
    if ldd.returncode != 0 or not any("ld-linux" in path for path in linked):
        fail(f"ldd names no loader for the program:\n{ldd.stdout}")
    check_libraries("linked", linked, reached)

    race = os.path.join(root, "usr/share/doc/tideplot/examples/sample-race/race.TP1")
    tile_format = make_mbtiles(os.path.join(work, "map.mbtiles"), work)
    make_kmz(os.path.join(work, "log.kmz"))
    env = dict(os.environ, LD_DEBUG="libs", LD_DEBUG_OUTPUT=os.path.join(work, "ld"), QT_QPA_PLATFORM="offscreen",
               XDG_CACHE_HOME=os.path.join(work, "cache"), XDG_CONFIG_HOME=os.path.join(work, "config"))
    for what, command in (
            ("the video over a map", [program, "replay", race, "--max-steps", "20", "--size", "320x240", "--video",
                                      os.path.join(work, "race.mp4"), "--map", os.path.join(work, "map.mbtiles")]),
            ("the KMZ import", [program, "import", os.path.join(work, "log.kmz")])):
        result = run(command, env=env)
        if result.returncode != 0:
            fail(f"{what} failed ({' '.join(command)}):\n{result.stdout}")
    loaded = loaded_objects(os.path.join(work, "ld"))
    wanted = ["libavcodec.so", "libavformat.so", "libswscale.so", "libavutil.so", "libzip.so", "/libqsqlite.so"]
    if tile_format == "webp":
        wanted.append("/libqwebp.so")
    for name in wanted:
        if not any(name in path for path in loaded):
            fail(f"the runs loaded no {name}: the check below does not see what it needs to")
    # The package's own module that draws is loaded too; what it links is checked with the rest.
    ours = {path for path in loaded if path.startswith(root + os.sep)}
    if not ours:
        fail("the video over a map loaded no module of the package's own")
    check_libraries("loaded when needed", loaded - linked - ours, reached)

    # The manual page: it reads cleanly and keeps up with the program's --help texts.
    with gzip.open(os.path.join(root, "usr/share/man/man1/tideplot.1.gz"), "rt") as f:
        page = f.read()
    if have("man"):
        rendered = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-"], input=page,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                                  env=dict(os.environ, MANWIDTH="80"))
        if rendered.returncode != 0 or rendered.stderr.strip():
            fail(f"the manual page does not read cleanly:\n{rendered.stderr}")
    for verb in ("", "replay", "link", "import", "results"):
        text = run([program] + ([verb] if verb else []) + ["--help"]).stdout
        if verb and f".SS \"tideplot {verb}" not in page:
            fail(f"the manual page has no section for tideplot {verb}")
        for option in sorted(set(re.findall(r"(?<![\w-])--[a-z][a-z-]*", text))):
            if option.replace("-", "\\-") not in page:
                fail(f"the manual page does not name {option} of 'tideplot {verb} --help'")
    with gzip.open(os.path.join(root, "usr/share/doc/tideplot/changelog.gz"), "rt") as f:
        latest = f.readline()
    if not latest.startswith(f"tideplot ({args.version}) "):
        fail(f"the changelog's latest entry is {latest.strip()!r}, not version {args.version}: "
             "add an entry to packaging/changelog")

    # The validators, each when it is installed.
    if have("appstreamcli"):
        result = run(["appstreamcli", "validate-tree", "--no-net", "--explain", root])
        if result.returncode != 0:
            fail(f"appstreamcli validate-tree:\n{result.stdout}")
    if have("desktop-file-validate"):
        result = run(["desktop-file-validate", os.path.join(root, "usr/share/applications/tideplot.desktop")])
        if result.returncode != 0 or result.stdout.strip():
            fail(f"desktop-file-validate:\n{result.stdout}")
    if have("lintian"):
        result = run(["lintian", "--fail-on", "error,warning", deb])
        if result.returncode != 0:
            fail(f"lintian:\n{result.stdout}")


if __name__ == "__main__":
    sys.exit(main())
