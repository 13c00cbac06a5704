"""The release tools on small made-up inputs: the notices must name every
shipped file and refuse what they cannot place, the bill of materials must
pass CycloneDX's schema and the schema check must refuse a broken one.

    python3 -m unittest discover -s tests/scripts
"""

import json
import os
import subprocess
import sys
import tempfile
import unittest
import zipfile
from pathlib import Path

SCRIPTS = Path(__file__).resolve().parents[2] / "scripts"
sys.path.insert(0, str(SCRIPTS))
import notices  # noqa: E402
import sbom  # noqa: E402

QT_FILES = ["Qt6Core.dll", "Qt6Gui.dll", "Qt6Widgets.dll", "platforms/qwindows.dll",
            "styles/qmodernwindowsstyle.dll"]


class Folder:
    """A portable folder, its origins and a cut-down Qt notice source."""

    def __init__(self, root, attributions):
        self.root = Path(root)
        self.stage, self.qt, self.notices = (self.root / n for n in ("stage", "qt", "notices"))
        origins = ["cipherbench.exe\tcipherbench"]
        for name in QT_FILES:
            self.write(self.stage / name, "dll")
            origins.append(f"{name}\t{self.qt}/bin/{Path(name).name}")
        self.write(self.stage / "cipherbench.exe", "exe")
        self.write(self.stage / "libwinpthread-1.dll", "dll")
        origins.append("libwinpthread-1.dll\t/usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll")
        self.origins = self.root / "origins.txt"
        self.write(self.origins, "\n".join(origins) + "\n")
        for name in ("LGPL-3.0-only.txt", "GPL-3.0-only.txt"):
            self.write(self.notices / "LICENSES" / name, name)
        self.write(self.notices / "debian" / "copyright",
                   "Files: *\nCopyright: 2016-2022 The Qt Company Ltd.\nLicense: LGPL-3\n")
        for path, entries in attributions.items():
            self.write(self.notices / path / "qt_attribution.json", json.dumps(entries))
            for entry in entries:
                if entry.get("LicenseFile"):
                    self.write(self.notices / path / entry["LicenseFile"], "licence text")

    @staticmethod
    def write(path, text):
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text, encoding="utf-8")

    def make(self):
        args = type("Args", (), dict(
            stage=str(self.stage), origins=str(self.origins), qt_notices=str(self.notices),
            qt_prefix=str(self.qt), qt_version="6.8.2+dfsg-9+deb13u2", version="1.0.0", commit="c0ffee",
            homepage="https://example.org/cipherbench", license=str(SCRIPTS.parent / "LICENSE"),
            components=str(self.root / "components.json")))
        notices.make(args)
        return (self.stage / "THIRD-PARTY-NOTICES.txt").read_bytes()


def fake_debian_package(path):
    return {"package": "mingw-w64-x86-64-dev", "version": "10.0.0-3", "source": "mingw-w64",
            "source_version": "10.0.0-3"}


ZLIB = {"src/3rdparty/zlib": [{"Id": "zlib", "Name": "zlib", "LicenseId": "Zlib",
                                "LicenseFile": "LICENSE", "Copyright": "Jean-loup Gailly"}]}


class NoticesTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.real = notices.debian_package, notices.QT_THIRD_PARTY_IN, notices.DEBIAN_DOC
        notices.debian_package = fake_debian_package
        notices.QT_THIRD_PARTY_IN = {"zlib": ["Qt6Core.dll"]}
        # The machine running the tests need not have the MinGW or Wine packages.
        notices.DEBIAN_DOC = os.path.join(self.tmp.name, "doc")
        for package in ("mingw-w64-x86-64-dev", "libwine-dev"):
            Folder.write(Path(notices.DEBIAN_DOC) / package / "copyright", f"{package} terms")
        self.addCleanup(self.restore)

    def restore(self):
        notices.debian_package, notices.QT_THIRD_PARTY_IN, notices.DEBIAN_DOC = self.real

    def test_every_file_listed_with_its_component(self):
        # The MIME database's entry names no licence file: Qt's shared text
        # for its licence goes with it.
        notices.QT_THIRD_PARTY_IN = {"zlib": ["Qt6Core.dll"], "tika": ["Qt6Core.dll"]}
        folder = Folder(self.tmp.name, {**ZLIB, "src/corelib/mimetypes/3rdparty": [
            {"Id": "tika", "Name": "Tika", "LicenseId": "Apache-2.0"}]})
        folder.write(folder.notices / "LICENSES" / "Apache-2.0.txt", "Apache terms")
        text = folder.make()
        self.assertIn("Apache terms", text.decode("utf-8-sig"))
        self.assertTrue(text.startswith(b"\xef\xbb\xbf"))
        lines = text.decode("utf-8-sig").split("\r\n")
        start = lines.index("Files") + 3
        section = lines[start:lines.index("", start)]
        listed = {line.split()[0] for line in section if not line.startswith(" ")}
        expected = set(QT_FILES) | {"cipherbench.exe", "libwinpthread-1.dll", "LICENSE.txt",
                                    "THIRD-PARTY-NOTICES.txt"}
        self.assertEqual(listed, expected)
        self.assertIn("with third-party code: Tika, zlib", text.decode("utf-8-sig"))
        self.assertIn("MinGW-w64 winpthreads", text.decode("utf-8-sig"))
        self.assertIn("mingw-w64-x86-64-dev terms", text.decode("utf-8-sig"))

    def test_refusals(self):
        cases = {
            "a file from nowhere": ("extra.dll", "extra.dll is shipped, but nothing says", ZLIB),
            "third-party code nobody placed": (None, "has newlib, which is neither", {
                "src/3rdparty/new": [{"Id": "newlib", "LicenseId": "MIT"}], **ZLIB}),
            "placed code Qt does not have": (None, "zlib is placed in a shipped file but", {}),
        }
        for name, (extra, message, attributions) in cases.items():
            with self.subTest(name), tempfile.TemporaryDirectory() as root:
                folder = Folder(root, attributions)
                if extra:
                    folder.write(folder.stage / extra, "dll")
                with self.assertRaisesRegex(SystemExit, message):
                    folder.make()


SCHEMA = os.environ.get("CIPHERBENCH_CDX_SCHEMA") or str(
    Path.home() / ".cache" / "cipherbench" / "cyclonedx-library-10.3.0")


class BillOfMaterialsTest(unittest.TestCase):
    # The schema is fetched by the release command; a machine that never
    # made a release has none to check against.
    @unittest.skipUnless(Path(SCHEMA, ".complete").exists(), "no CycloneDX schema fetched")
    def test_valid_and_refused(self):
        os.environ["CIPHERBENCH_CDX_SCHEMA"] = SCHEMA
        with tempfile.TemporaryDirectory() as root:
            root = Path(root)
            (root / "components.json").write_text(json.dumps({"components": [
                {"id": "cipherbench", "name": "Cipherbench", "version": "1.0.0",
                 "license": "MIT", "copyright": ["2026 x"], "source": "here",
                 "files": ["cipherbench.exe"], "supplier": "us"}], "qt_third_party": []}))
            release = root / "release"
            package = root / "pkg"
            Folder.write(package / "DEBIAN" / "control",
                         "Package: t\nVersion: 1\nArchitecture: all\nMaintainer: m <m@x>\n"
                         "Depends: libc6\nDescription: t\n")
            Folder.write(package / "usr" / "bin" / "t", "#!/bin/sh\n")
            release.mkdir()
            subprocess.run(["dpkg-deb", "--root-owner-group", "-b", str(package),
                            str(release / "t.deb")], check=True, capture_output=True)
            with zipfile.ZipFile(release / "t.zip", "w") as archive:
                archive.writestr("t/cipherbench.exe", "exe")
            output = root / "bom.json"
            sys.argv = ["sbom.py"]
            args = type("Args", (), dict(
                release_dir=str(release), components=str(root / "components.json"),
                installer_folder=str(root), version="1.0.0", commit="c0ffee",
                epoch="1796749000", homepage="https://example.org", output=str(output)))
            sbom.make(args)
            sbom.validate(output)
            document = json.loads(output.read_text())
            names = [c["name"] for c in document["components"]]
            self.assertEqual(names[:2], ["t.deb", "t.zip"])
            self.assertEqual(document["metadata"]["timestamp"], "2026-12-08T16:56:40Z")
            document["components"][0]["hashes"][0]["alg"] = "SHA-257"
            output.write_text(json.dumps(document))
            with self.assertRaisesRegex(SystemExit, "1 errors against CycloneDX"):
                sbom.validate(output)


if __name__ == "__main__":
    unittest.main()
