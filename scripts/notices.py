#!/usr/bin/env python3
"""The licences of the Windows folder, made from their sources.

  notices.py collect QT_SOURCE DEST
      keeps what the notices need of Debian's qt6-base source (its licence
      texts, debian/copyright, every qt_attribution.json with the files it
      names) in DEST, so that the notices can be made without the source.

  notices.py make --stage DIR --origins FILE --qt-notices DIR --qt-version V
                  --version V --commit C --homepage URL
      writes DIR/THIRD-PARTY-NOTICES.txt and DIR/components.json (what the
      bill of materials takes). ORIGINS has a line per shipped file: its
      path in the folder, a tab, and where it was taken from (a path, or
      "cipherbench" for our own). Fails when a shipped file belongs to no
      component, or when Qt's source holds third-party code that is neither
      placed in a shipped file below nor said to be left out.
"""

import json
import os
import shutil
import subprocess
import sys
import textwrap
from pathlib import Path

# Where Qt's third-party code ends up in what we ship, by the Id of its
# qt_attribution.json entry. Read off Qt's CMake files for the configuration
# windows-deps.sh builds (Windows, Widgets, no network, OpenGL, Vulkan,
# JPEG, D-Bus or printing; Direct3D 11 and 12 and the MIME database are in).
QT_THIRD_PARTY_IN = {
    "blake2": ["Qt6Core.dll"],
    "doubleconversion": ["Qt6Core.dll"],
    "easing": ["Qt6Core.dll"],
    "md4": ["Qt6Core.dll"],
    "md5": ["Qt6Core.dll"],
    "pcre2": ["Qt6Core.dll"],
    "pcre2-sljit": ["Qt6Core.dll"],
    "rfc6234": ["Qt6Core.dll"],
    "sha1": ["Qt6Core.dll"],
    "sha3_endian": ["Qt6Core.dll"],
    "sha3_keccak": ["Qt6Core.dll"],
    "siphash": ["Qt6Core.dll"],
    "tinycbor": ["Qt6Core.dll"],
    "unicode-character-database": ["Qt6Core.dll"],
    "unicode-cldr": ["Qt6Core.dll"],
    "zlib": ["Qt6Core.dll"],
    "freetype": ["Qt6Gui.dll"],
    "freetype-zlib": ["Qt6Gui.dll"],
    "freetype-bdf": ["Qt6Gui.dll"],
    "freetype-pcf": ["Qt6Gui.dll"],
    "harfbuzz-ng": ["Qt6Gui.dll"],
    "libpng": ["Qt6Gui.dll"],
    "md4c": ["Qt6Gui.dll"],
    "icc-srgb-color-profile": ["Qt6Gui.dll"],
    "d3d12memoryallocator": ["Qt6Gui.dll"],
    "rhi-miniengine-d3d12-mipmap": ["Qt6Gui.dll"],
    "tika-mimetypes": ["Qt6Core.dll"],
    "grayraster": ["Qt6Gui.dll"],
    "smooth-scaling-algorithm": ["Qt6Gui.dll"],
    "xserverhelper": ["Qt6Gui.dll"],
    "aglfn": ["Qt6Gui.dll"],
    "webgradients": ["Qt6Gui.dll"],
}
# And the folders of Qt's attribution files whose code is in no shipped
# file, with the reason.
QT_THIRD_PARTY_LEFT_OUT = {
    "cmake/3rdparty/extra-cmake-modules": "build system only",
    "cmake/3rdparty/kwin": "build system only",
    "src/3rdparty/VulkanMemoryAllocator": "Vulkan is off",
    "src/gui/vulkan": "Vulkan is off",
    "src/gui/opengl": "OpenGL is off",
    "src/3rdparty/android": "Android only",
    "src/3rdparty/gradle": "Android only",
    "src/3rdparty/forkfd": "Unix only",
    "src/corelib/kernel": "macOS only",
    "src/plugins/platforms/cocoa": "macOS only",
    "src/3rdparty/pixman": "ARM only",
    "src/3rdparty/wasm": "WebAssembly only",
    "src/3rdparty/xcb": "X11 only",
    "src/3rdparty/libjpeg": "JPEG is off",
    "src/3rdparty/libpsl": "Qt Network is off",
    "src/network/kernel": "Qt Network is off",
    "src/dbus": "Qt D-Bus is off",
    "src/testlib/3rdparty/catch2": "Qt Test is not shipped",
    "src/testlib/3rdparty/cycle": "Qt Test is not shipped",
    "src/testlib/3rdparty/linux": "Qt Test is not shipped",
    "src/testlib/3rdparty/valgrind": "Qt Test is not shipped",
}

# Qt's own LicenseId spellings, as SPDX expressions.
SPDX_OF = {
    "FTL OR GPL-2.0": "FTL OR GPL-2.0-only",
    "FTL or GPL-2.0": "FTL OR GPL-2.0-only",
    "ICC License": "LicenseRef-ICC-sRGB",
    "None": "LicenseRef-public-domain",
    "": "LicenseRef-public-domain",
}

# Full texts of the licences that Debian's copyright files name by
# reference, from the copies every Debian system has.
COMMON_LICENSES = ["GPL-2", "GPL-3", "LGPL-2.1", "LGPL-3"]
# Where Debian keeps each installed package's copyright file.
DEBIAN_DOC = "/usr/share/doc"


def load_attributions(path):
    data = json.loads(path.read_text(encoding="utf-8"), strict=False)
    return data if isinstance(data, list) else [data]


def license_files(entry):
    files = entry.get("LicenseFiles") or []
    if entry.get("LicenseFile"):
        files = [entry["LicenseFile"]] + list(files)
    return files


def collect(source, dest):
    source, dest = Path(source), Path(dest)
    dest.mkdir(parents=True, exist_ok=True)
    shutil.copytree(source / "LICENSES", dest / "LICENSES")
    (dest / "debian").mkdir()
    shutil.copy(source / "debian" / "copyright", dest / "debian" / "copyright")
    for attribution in sorted(source.glob("**/qt_attribution.json")):
        relative = attribution.parent.relative_to(source)
        if relative.parts[0] in ("tests", "examples"):
            continue
        target = dest / relative
        target.mkdir(parents=True, exist_ok=True)
        shutil.copy(attribution, target)
        for entry in load_attributions(attribution):
            names = license_files(entry)
            # FreeType's LICENSE.txt lets the user choose, naming the texts.
            if entry.get("Id") == "freetype":
                names += ["docs/FTL.TXT", "docs/GPLv2.TXT"]
            for name in names:
                src = attribution.parent / name
                dst = dest / os.path.normpath(relative / name)
                dst.parent.mkdir(parents=True, exist_ok=True)
                shutil.copy(src, dst)


def debian_package(path):
    """The binary package that owns PATH, its source package and version."""
    # The compiler names some of its files through "..": dpkg knows them
    # by their plain path.
    path = os.path.normpath(path)
    owner = subprocess.run(["dpkg-query", "-S", path], check=True, capture_output=True,
                           text=True).stdout.split(":")[0]
    fields = subprocess.run(
        ["dpkg-query", "-W", "-f=${Version}\t${source:Package}\t${source:Version}", owner],
        check=True, capture_output=True, text=True).stdout.split("\t")
    return {"package": owner, "version": fields[0], "source": fields[1],
            "source_version": fields[2]}


# The Debian packages of the Windows runtime we ship, and how each is
# licensed (SPDX); the copyright file of the package says it at length.
RUNTIME_COMPONENTS = {
    "gcc-mingw-w64": {
        "name": "GCC runtime libraries (libstdc++, libgcc)",
        "license": "GPL-3.0-or-later WITH GCC-exception-3.1",
    },
    "mingw-w64": {
        "name": "MinGW-w64 winpthreads",
        "license": "MIT AND BSD-3-Clause",
    },
    "qt6-translations": {
        "name": "Qt translations (Chinese)",
        "license": "GPL-3.0-only WITH Qt-GPL-exception-1.0",
    },
}


def debian_copyright_of_all(path):
    """The Copyright lines of the "Files: *" paragraph of a DEP-5 file."""
    lines, inside, taking = [], False, False
    for line in Path(path).read_text(encoding="utf-8").splitlines():
        if not line.strip():
            if inside:
                break
            continue
        if line.startswith("Files:"):
            inside = line.split(":", 1)[1].strip() == "*"
            taking = False
        elif inside and line.startswith("Copyright:"):
            taking = True
            lines.append(line.split(":", 1)[1].strip())
        elif inside and taking and line.startswith(" "):
            lines.append(line.strip())
        elif inside:
            taking = False
    return lines


def read_text(path):
    return Path(path).read_text(encoding="utf-8", errors="replace").rstrip() + "\n"


def make(args):
    stage = Path(args.stage)
    notices_dir = Path(args.qt_notices)
    origins = {}
    for line in Path(args.origins).read_text(encoding="utf-8").splitlines():
        if line.strip():
            name, origin = line.split("\t")
            origins[name] = origin
    own_outputs = {"LICENSE.txt", "THIRD-PARTY-NOTICES.txt"}
    shipped = sorted({str(p.relative_to(stage)).replace(os.sep, "/")
                      for p in stage.rglob("*") if p.is_file()} | own_outputs)

    # Components, each with the shipped files it is in.
    ours = {"id": "cipherbench", "name": "Cipherbench", "version": args.version,
            "license": "MIT", "copyright": ["2026 The Cipherbench developers"],
            "source": f"{args.homepage}, commit {args.commit}", "files": [],
            "supplier": "The Cipherbench developers"}
    qt = {"id": "qt6-base", "name": "Qt Base (Qt Core, Qt GUI, Qt Widgets, Windows plugins)",
          "version": args.qt_version.split("+")[0], "license": "LGPL-3.0-only",
          "copyright": debian_copyright_of_all(notices_dir / "debian" / "copyright"),
          "files": [],
          "source": (f"Debian source package qt6-base {args.qt_version}, built by this "
                     f"project's scripts/windows-deps.sh (with packaging/windows/qt-wintab.h) "
                     f"at commit {args.commit}"),
          "debian_source": "qt6-base", "debian_version": args.qt_version,
          "supplier": "The Qt Company Ltd. (source as packaged by Debian)"}
    runtime = {}
    for name in shipped:
        if name in own_outputs or origins.get(name) == "cipherbench":
            ours["files"].append(name)
            continue
        origin = origins.get(name)
        if origin is None:
            sys.exit(f"notices: {name} is shipped, but nothing says where it comes from")
        if origin.startswith(args.qt_prefix.rstrip("/") + "/"):
            qt["files"].append(name)
            continue
        package = debian_package(origin)
        info = RUNTIME_COMPONENTS.get(package["source"])
        if info is None:
            sys.exit(f"notices: {name} comes from the Debian package {package['package']} "
                     f"(source {package['source']}), which has no licence entry here")
        component = runtime.setdefault(package["source"], {
            "id": package["source"], "name": info["name"], "license": info["license"],
            "version": package["version"], "files": [],
            "copyright_file": f"{DEBIAN_DOC}/{package['package']}/copyright",
            "source": f"Debian source package {package['source']} {package['source_version']}",
            "debian_source": package["source"], "debian_version": package["source_version"],
            "debian_package": f"{package['package']} {package['version']}",
            "supplier": "Debian"})
        component["files"].append(name)

    # Qt's third-party code, from its attribution files.
    third_party = []
    seen = set()
    for attribution in sorted(notices_dir.glob("**/qt_attribution.json")):
        if attribution.parent.relative_to(notices_dir).as_posix() in QT_THIRD_PARTY_LEFT_OUT:
            continue
        for entry in load_attributions(attribution):
            ident = entry.get("Id")
            seen.add(ident)
            if ident not in QT_THIRD_PARTY_IN:
                sys.exit(f"notices: Qt's {attribution.parent} has {ident}, which is neither "
                         "placed in a shipped file nor said to be left out")
            files = QT_THIRD_PARTY_IN[ident]
            missing = [f for f in files if f not in qt["files"]]
            if missing:
                sys.exit(f"notices: {ident} is said to be in {missing}, which is not shipped")
            copyright = entry.get("Copyright", "")
            if isinstance(copyright, list):  # one holder per line, as some entries give them
                copyright = "\n".join(copyright)
            if not copyright and entry.get("CopyrightFile"):
                copyright = read_text(attribution.parent / entry["CopyrightFile"])
            texts = []
            names = license_files(entry)
            if ident == "freetype":
                names += ["docs/FTL.TXT"]
            for name in names:
                texts.append((name, read_text(attribution.parent / name)))
            license_id = entry.get("LicenseId", "") or ""
            # An entry that names no file of its own (the MIME database's)
            # takes the text Qt keeps for its licence.
            shared = notices_dir / "LICENSES" / f"{license_id}.txt"
            if not names and shared.is_file():
                texts.append((f"LICENSES/{license_id}.txt", read_text(shared)))
            third_party.append({
                "id": ident, "name": entry.get("Name", ident),
                "version": str(entry.get("Version", "")),
                "license": SPDX_OF.get(license_id, license_id),
                "license_name": entry.get("License", ""),
                "copyright": copyright.strip(), "homepage": entry.get("Homepage", ""),
                "usage": entry.get("QtUsage", ""), "files": files, "texts": texts,
                "path": str(attribution.parent.relative_to(notices_dir))})
    for ident in sorted(set(QT_THIRD_PARTY_IN) - seen):
        sys.exit(f"notices: {ident} is placed in a shipped file but Qt's source has no such entry")

    wintab = {"id": "wine-wintab-headers", "name": "Wintab headers from Wine",
              "license": "LGPL-2.1-or-later", "files": ["platforms/qwindows.dll"],
              "copyright_file": f"{DEBIAN_DOC}/libwine-dev/copyright", "supplier": "Debian"}
    wine = debian_package("/usr/include/wine/wine/windows/wintab.h")
    wintab.update(version=wine["source_version"], debian_source=wine["source"],
                  debian_version=wine["source_version"],
                  source=(f"Debian source package {wine['source']} {wine['source_version']} "
                          "(wintab.h and pktdef.h, declarations only)"))

    components = [ours, qt] + [runtime[k] for k in sorted(runtime)] + [wintab]
    covered = {f for c in components for f in c["files"]}
    for name in shipped:
        if name not in covered:
            sys.exit(f"notices: {name} has no entry")

    write_notices(stage / "THIRD-PARTY-NOTICES.txt", args, components, third_party,
                  notices_dir, shipped)
    for component in components:
        component.pop("copyright_file", None)
    Path(args.components).write_text(json.dumps(
        {"components": components,
         "qt_third_party": [{k: v for k, v in t.items() if k != "texts"} for t in third_party]},
        indent=1, sort_keys=True, ensure_ascii=False) + "\n", encoding="utf-8")


def write_notices(path, args, components, third_party, notices_dir, shipped):
    out = []
    rule = "=" * 78

    def heading(text, char="="):
        out.extend(["", text, char * min(78, len(text)), ""])

    out.append(f"Cipherbench {args.version} for Windows: what this folder holds, and its licences")
    out.append(rule)
    out.append("")
    out.append("Every file of this folder is listed here with the component it belongs to.")
    out.append("Each component follows with its version, licence, copyright and where its")
    out.append("exact source is; the full licence texts come last. Qt is linked dynamically:")
    out.append("you may replace its DLLs with a build of your own of the same Qt version.")
    heading("Files")
    width = max(len(f) for f in shipped) + 2
    for name in shipped:
        owners = [c["name"] for c in components if name in c["files"]]
        inside = sorted({t["name"] for t in third_party if name in t["files"]})
        line = f"{name.ljust(width)}{'; '.join(owners)}"
        out.append(line)
        if inside:
            out.extend(textwrap.wrap("with third-party code: " + ", ".join(inside), 78,
                                     initial_indent=" " * width,
                                     subsequent_indent=" " * (width + 2)))
    out.append("")
    out.append("cipherbench.exe also holds, linked in statically, GCC's stack protector")
    out.append("(libssp) and MinGW-w64's start-up code; both are listed below.")

    for number, component in enumerate(components, 1):
        heading(f"{number}. {component['name']} {component['version']}")
        out.append(f"Files:     {', '.join(component['files'])}")
        out.append(f"Licence:   {component['license']} (SPDX)")
        out.append(f"Source:    {component['source']}")
        if component["id"] == "cipherbench":
            out.append("Copyright: " + "; ".join(component["copyright"]))
            out.append("")
            out.append(read_text(args.license))
        elif component["id"] == "qt6-base":
            out.append("Qt is also offered under GPL-2.0/GPL-3.0 and commercial licences; it is")
            out.append("used here under the LGPL-3.0, whose text (and that of the GPL-3.0, which")
            out.append("it refers to) is below. Debian's record of its copyright holders and")
            out.append("licences, file by file:")
            out.append("")
            out.append(read_text(notices_dir / "debian" / "copyright"))
            heading(f"{number}.1 Third-party code in Qt, as Qt's attribution files list it", "-")
            for sub, item in enumerate(third_party, 1):
                out.append(f"{number}.1.{sub} {item['name']} {item['version']}".rstrip())
                out.append(f"  In:        {', '.join(item['files'])} ({item['usage']})")
                out.append(f"  Licence:   {item['license']} ({item['license_name']})")
                if item["homepage"]:
                    out.append(f"  Homepage:  {item['homepage']}")
                out.append(f"  Source:    qt6-base {args.qt_version}, {item['path']}")
                out.append("  Copyright:")
                out.extend("    " + line for line in item["copyright"].splitlines())
                for name, text in item["texts"]:
                    out.append(f"  --- {name}")
                    out.extend("  " + line if line else "" for line in text.splitlines())
                out.append("")
        else:
            out.append(f"Debian:    {component.get('debian_package', component['source'])}")
            out.append("Debian's record of its copyright holders and licences:")
            out.append("")
            out.append(read_text(component["copyright_file"]))

    heading("Licence texts")
    texts = [("LGPL-3.0-only", notices_dir / "LICENSES" / "LGPL-3.0-only.txt"),
             ("GPL-3.0-only", notices_dir / "LICENSES" / "GPL-3.0-only.txt")]
    texts += [(f"{name} (/usr/share/common-licenses/{name})",
               Path("/usr/share/common-licenses") / name) for name in COMMON_LICENSES]
    for name, text_path in texts:
        heading(name, "-")
        out.append(read_text(text_path))

    # Notepad shows UTF-8 with a byte-order mark and CRLF lines on every
    # Windows version.
    text = "\n".join(out).rstrip() + "\n"
    path.write_bytes(b"\xef\xbb\xbf" + text.replace("\n", "\r\n").encode("utf-8"))


def main():
    if len(sys.argv) >= 2 and sys.argv[1] == "collect" and len(sys.argv) == 4:
        collect(sys.argv[2], sys.argv[3])
        return
    if len(sys.argv) < 2 or sys.argv[1] != "make":
        sys.exit(__doc__)
    import argparse
    parser = argparse.ArgumentParser(prog="notices.py make")
    for option in ("stage", "origins", "qt-notices", "qt-prefix", "qt-version", "version",
                   "commit", "homepage", "license", "components"):
        parser.add_argument("--" + option, required=True)
    make(parser.parse_args(sys.argv[2:]))


if __name__ == "__main__":
    main()
