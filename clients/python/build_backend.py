"""The client's own build backend (PEP 517, with PEP 660 editable installs), standard library
only, so that `pip install clients/python` works with nothing but a Python and pip: Debian 12's
pip finds no setuptools new enough, or no `wheel`, where there is no package index to fetch
them from. The client is one pure-Python package; its wheel is a ZIP file of that package and
a few lines of metadata taken from pyproject.toml."""

import base64
import hashlib
import io
import os
import re
import tarfile
import zipfile

_HERE = os.path.dirname(os.path.abspath(__file__))
_PACKAGE = "velquin"


def _project():
    """The [project] table's simple `key = "value"` entries of pyproject.toml."""
    values, section = {}, None
    with open(os.path.join(_HERE, "pyproject.toml"), encoding="utf-8") as file:
        for line in file:
            heading = re.match(r"\s*\[([^\]]+)\]\s*$", line)
            if heading:
                section = heading.group(1).strip()
                continue
            entry = re.match(r'\s*([A-Za-z0-9_-]+)\s*=\s*"([^"]*)"\s*$', line)
            if section == "project" and entry:
                values[entry.group(1)] = entry.group(2)
    return values


def _metadata():
    project = _project()
    with open(os.path.join(_HERE, project.get("readme", "README.md")), encoding="utf-8") as file:
        readme = file.read()
    lines = ["Metadata-Version: 2.1", "Name: " + project["name"], "Version: " + project["version"],
             "Summary: " + project.get("description", ""), "License: MIT"]
    if "requires-python" in project:
        lines.append("Requires-Python: " + project["requires-python"])
    lines.append("Description-Content-Type: text/markdown")
    return project, "\n".join(lines) + "\n\n" + readme


def _dist_info(project):
    return "%s-%s.dist-info" % (project["name"], project["version"])


def _wheel(directory, files):
    """Writes a wheel of files (archive name -> bytes) and returns its file name."""
    project, metadata = _metadata()
    info = _dist_info(project)
    files = dict(files)
    files[info + "/METADATA"] = metadata.encode("utf-8")
    files[info + "/WHEEL"] = (b"Wheel-Version: 1.0\nGenerator: velquin build_backend\n"
                              b"Root-Is-Purelib: true\nTag: py3-none-any\n")
    record = []
    for name, data in files.items():
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        record.append("%s,sha256=%s,%d" % (name, digest, len(data)))
    record.append(info + "/RECORD,,")
    files[info + "/RECORD"] = ("\n".join(record) + "\n").encode("utf-8")
    name = "%s-%s-py3-none-any.whl" % (project["name"], project["version"])
    with zipfile.ZipFile(os.path.join(directory, name), "w", zipfile.ZIP_DEFLATED) as wheel:
        for archive_name, data in files.items():
            wheel.writestr(zipfile.ZipInfo(archive_name, (1980, 1, 1, 0, 0, 0)), data)
    return name


def _package_files():
    files = {}
    root = os.path.join(_HERE, _PACKAGE)
    for folder, _, names in os.walk(root):
        for name in sorted(names):
            if name.endswith(".py"):
                path = os.path.join(folder, name)
                with open(path, "rb") as file:
                    files[os.path.relpath(path, _HERE).replace(os.sep, "/")] = file.read()
    return files


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    return _wheel(wheel_directory, _package_files())


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    # A path file that puts this folder on sys.path: the package is used where it is edited.
    return _wheel(wheel_directory, {"__editable__.%s.pth" % _PACKAGE: (_HERE + "\n").encode("utf-8")})


def build_sdist(sdist_directory, config_settings=None):
    project, metadata = _metadata()
    base = "%s-%s" % (project["name"], project["version"])
    files = dict(_package_files())
    for name in ("pyproject.toml", "build_backend.py", "README.md", "examples/show.py"):
        with open(os.path.join(_HERE, name), "rb") as file:
            files[name] = file.read()
    files["PKG-INFO"] = metadata.encode("utf-8")
    name = base + ".tar.gz"
    with tarfile.open(os.path.join(sdist_directory, name), "w:gz", format=tarfile.PAX_FORMAT) as archive:
        for archive_name, data in sorted(files.items()):
            entry = tarfile.TarInfo(base + "/" + archive_name)
            entry.size = len(data)
            entry.mode = 0o644
            archive.addfile(entry, io.BytesIO(data))
    return name
