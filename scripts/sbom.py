#!/usr/bin/env python3
"""The bill of materials of a release, as CycloneDX 1.5 JSON.

  sbom.py make --release-dir DIR --components JSON --installer-folder DIR
               --version V --commit C --epoch N --homepage URL --output FILE
      lists each download with its SHA-256, every file inside it with its
      own, and every component with its version, licence (SPDX) and
      source. Everything comes from the files and from SOURCE_DATE_EPOCH,
      so two builds of one commit give the same bytes.

  sbom.py validate FILE
      checks FILE against CycloneDX's official 1.5 JSON schema with the
      jsonschema library; the schema files are those of the
      @cyclonedx/cyclonedx-library package, in the folder that
      CIPHERBENCH_CDX_SCHEMA names (release.sh fetches them).
"""

import argparse
import datetime
import hashlib
import io
import json
import subprocess
import sys
import tarfile
import os
import uuid
import zipfile
from pathlib import Path


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def file_entry(ref, name, data):
    return {"type": "file", "bom-ref": ref, "name": name,
            "hashes": [{"alg": "SHA-256", "content": sha256(data)}]}


def licenses(expression):
    # A single SPDX identifier is an id; anything else an expression.
    if all(c.isalnum() or c in ".-+" for c in expression) and not expression.startswith(
            "LicenseRef-"):
        return [{"license": {"id": expression}}]
    return [{"expression": expression}]


def deb_files(path):
    """(name, bytes) of each regular file the package installs."""
    tar_bytes = subprocess.run(["dpkg-deb", "--fsys-tarfile", str(path)], check=True,
                               capture_output=True).stdout
    with tarfile.open(fileobj=io.BytesIO(tar_bytes)) as tar:
        for member in sorted(tar.getmembers(), key=lambda m: m.name):
            if member.isfile():
                yield member.name.lstrip("./").lstrip("/"), tar.extractfile(member).read()


def deb_field(path, field):
    return subprocess.run(["dpkg-deb", "-f", str(path), field], check=True,
                          capture_output=True, text=True).stdout.strip()


def purl_deb(name, version, arch="source"):
    return f"pkg:deb/debian/{name}@{version.replace('+', '%2B').replace(':', '%3A')}?arch={arch}"


def make(args):
    release = Path(args.release_dir)
    data = json.loads(Path(args.components).read_text(encoding="utf-8"))
    epoch = int(args.epoch)
    timestamp = datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc).strftime(
        "%Y-%m-%dT%H:%M:%SZ")

    # Software components: ours, and what the Windows downloads bundle.
    software = []
    refs_of_file = {}
    for component in data["components"]:
        ref = f"component:{component['id']}"
        entry = {"type": "application" if component["id"] == "cipherbench" else "library",
                 "bom-ref": ref, "name": component["name"], "version": component["version"],
                 "supplier": {"name": component["supplier"]},
                 "licenses": licenses(component["license"]),
                 "externalReferences": [], "properties": [
                     {"name": "cipherbench:source", "value": component["source"]}]}
        if component.get("copyright"):
            entry["copyright"] = "; ".join(component["copyright"])
        if component.get("debian_source"):
            entry["purl"] = purl_deb(component["debian_source"], component["debian_version"])
            entry["externalReferences"].append(
                {"type": "distribution",
                 "url": f"https://sources.debian.org/src/{component['debian_source']}/"
                        f"{component['debian_version']}/"})
        else:
            entry["externalReferences"].append({"type": "vcs", "url": args.homepage})
        if component["id"] == "qt6-base":
            entry["components"] = []
            for item in data["qt_third_party"]:
                sub = {"type": "library", "bom-ref": f"component:qt6-base/{item['id']}",
                       "name": item["name"], "licenses": licenses(item["license"]),
                       "properties": [{"name": "cipherbench:in", "value": ", ".join(item["files"])},
                                      {"name": "cipherbench:source",
                                       "value": f"qt6-base {component['debian_version']}, "
                                                f"{item['path']}"}]}
                if item["version"]:
                    sub["version"] = item["version"]
                if item["copyright"]:
                    sub["copyright"] = item["copyright"]
                entry["components"].append(sub)
        if not entry["externalReferences"]:
            del entry["externalReferences"]
        software.append(entry)
        for name in component["files"]:
            refs_of_file.setdefault(name, []).append(ref)

    downloads = []
    dependencies = []
    for path in sorted(release.iterdir()):
        if path.suffix not in (".deb", ".zip", ".exe"):
            continue
        ref = f"download:{path.name}"
        entry = file_entry(ref, path.name, path.read_bytes())
        inner = []
        depends = set()
        if path.suffix == ".deb":
            for name, content in deb_files(path):
                inner.append(file_entry(f"{ref}/{name}", name, content))
            depends.add("component:cipherbench")
            entry["properties"] = [{"name": "cipherbench:debian-depends",
                                    "value": deb_field(path, "Depends")}]
        elif path.suffix == ".zip":
            with zipfile.ZipFile(path) as archive:
                for info in sorted(archive.infolist(), key=lambda i: i.filename):
                    if info.is_dir():
                        continue
                    inside = info.filename.split("/", 1)[1]
                    inner.append(file_entry(f"{ref}/{inside}", inside, archive.read(info)))
                    depends.update(refs_of_file.get(inside, []))
        else:
            # The installer writes exactly the portable folder's files.
            folder = Path(args.installer_folder)
            for file in sorted(p for p in folder.rglob("*") if p.is_file()):
                inside = file.relative_to(folder).as_posix()
                inner.append(file_entry(f"{ref}/{inside}", inside, file.read_bytes()))
                depends.update(refs_of_file.get(inside, []))
        entry["components"] = inner
        downloads.append(entry)
        dependencies.append({"ref": ref, "dependsOn": sorted(depends)})

    bom = {
        "$schema": "http://cyclonedx.org/schema/bom-1.5.schema.json",
        "bomFormat": "CycloneDX", "specVersion": "1.5",
        "serialNumber": "urn:uuid:" + str(uuid.uuid5(uuid.NAMESPACE_URL,
                                                     f"{args.homepage}@{args.commit}")),
        "version": 1,
        "metadata": {
            "timestamp": timestamp,
            "tools": {"components": [{"type": "application", "name": "scripts/release.sh",
                                      "version": args.version}]},
            "component": {"type": "application", "bom-ref": "release",
                          "name": "Cipherbench", "version": args.version,
                          "licenses": licenses("MIT"),
                          "properties": [{"name": "cipherbench:commit", "value": args.commit}]},
        },
        "components": downloads + software,
        "dependencies": dependencies + [
            {"ref": "release", "dependsOn": [d["bom-ref"] for d in downloads]}],
    }
    Path(args.output).write_text(json.dumps(bom, indent=1, ensure_ascii=False) + "\n",
                                 encoding="utf-8")


def validate(path):
    import jsonschema

    schema_dir = Path(os.environ["CIPHERBENCH_CDX_SCHEMA"])
    store = {}
    for name in ("bom-1.5.SNAPSHOT.schema.json", "spdx.SNAPSHOT.schema.json",
                 "jsf-0.82.SNAPSHOT.schema.json"):
        schema = json.loads((schema_dir / name).read_text(encoding="utf-8"))
        store[name] = schema
        store[schema["$id"]] = schema
    main = store["bom-1.5.SNAPSHOT.schema.json"]
    resolver = jsonschema.RefResolver(base_uri=main["$id"], referrer=main, store={
        **store,
        # The schema names its neighbours by file name, relative to its $id.
        "http://cyclonedx.org/schema/spdx.SNAPSHOT.schema.json":
            store["spdx.SNAPSHOT.schema.json"],
        "http://cyclonedx.org/schema/jsf-0.82.SNAPSHOT.schema.json":
            store["jsf-0.82.SNAPSHOT.schema.json"]})
    validator = jsonschema.Draft7Validator(main, resolver=resolver,
                                           format_checker=jsonschema.FormatChecker())
    document = json.loads(Path(path).read_text(encoding="utf-8"))
    errors = sorted(validator.iter_errors(document), key=lambda e: list(e.absolute_path))
    for error in errors[:20]:
        print(f"{path}: {'/'.join(map(str, error.absolute_path))}: {error.message}",
              file=sys.stderr)
    if errors:
        sys.exit(f"{path}: {len(errors)} errors against CycloneDX 1.5")
    count = sum(1 + len(c.get("components", [])) for c in document["components"])
    print(f"{path}: valid CycloneDX 1.5 ({count} components)")


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "validate":
        validate(sys.argv[2])
        return
    if len(sys.argv) < 2 or sys.argv[1] != "make":
        sys.exit(__doc__)
    parser = argparse.ArgumentParser(prog="sbom.py make")
    for option in ("release-dir", "components", "installer-folder", "version", "commit",
                   "epoch", "homepage", "output"):
        parser.add_argument("--" + option, required=True)
    make(parser.parse_args(sys.argv[2:]))


if __name__ == "__main__":
    main()
