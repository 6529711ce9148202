#!/usr/bin/python3
"""A build configured with another publisher's details carries them into every place that shows
them: the program's About box, links and version block (the resource test, on that build), the
setup program's version block and "Apps & features" entry, the Debian package's control file,
copyright, changelog and AppStream file, the site's pages and the web edition's page; and not
one of the defaults is left in any of them. Runs under Debian's /usr/bin/python3, which has
python3-pefile.

    tests/publisher_details.py
"""
import glob
import gzip
import lzma
import os
import pathlib
import struct
import subprocess
import sys
import tempfile

import pefile

ROOT = pathlib.Path(__file__).resolve().parents[1]
BUILD = ROOT / "build" / "windows-publisher"
# Other details, with an ampersand for the XML of the AppStream file, and a site without the
# closing slash, which the build adds.
DETAILS = {"HOMEPAGE": "http://games.publisher.test/smorvala", "EMAIL": "players@publisher.test",
           "IM": "微信： smorvala_games", "PUBLISHER": "示例游戏 & Co."}
SITE = DETAILS["HOMEPAGE"] + "/"
DEFAULTS = ["www.example.com", "mail@example.com", "QQ： 00000000", "SMorvala 开发组"]
FIRST_HEADER_MAGIC = b"\xef\xbe\xad\xdeNullsoftInst"

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def holds(data, text):
    """Whether the bytes hold the text, as UTF-8 or as UTF-16."""
    return text.encode() in data or text.encode("utf-16-le") in data


def setup_script(path):
    """The setup program's script, with its strings: the block that follows NSIS's first header,
    compressed with the rest by solid LZMA, with its length in front."""
    data = path.read_bytes()
    start = data.index(FIRST_HEADER_MAGIC) + len(FIRST_HEADER_MAGIC) + 8
    properties, dictionary = data[start], struct.unpack_from("<I", data, start + 1)[0]
    decompressor = lzma.LZMADecompressor(lzma.FORMAT_RAW, filters=[{
        "id": lzma.FILTER_LZMA1, "dict_size": dictionary, "lc": properties % 9,
        "lp": properties // 9 % 5, "pb": properties // 45}])
    header = decompressor.decompress(data[start + 5:], max_length=1 << 20)
    return header[4:4 + struct.unpack_from("<I", header)[0]]


def version_strings(path):
    strings = {}
    for info in pefile.PE(str(path)).FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    return strings


def package_files(deb, folder):
    """Every file of the package, unpacked and decompressed, by its path; and its control file."""
    subprocess.run(["dpkg-deb", "--raw-extract", deb, folder], check=True)
    files = {}
    for path in pathlib.Path(folder).rglob("*"):
        if path.is_file():
            data = path.read_bytes()
            files[str(path.relative_to(folder))] = gzip.decompress(data) if path.suffix == ".gz" else data
    return files


def main():
    subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, f"--toolchain={ROOT}/cmake/mingw-i686.cmake",
                    "-DCMAKE_BUILD_TYPE=Release", *(f"-DSMORVALA_{k}={v}" for k, v in DETAILS.items())],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "-j", str(os.cpu_count()), "--target", "package"],
                   check=True, stdout=subprocess.DEVNULL)

    program = BUILD / "SMorvala.exe"
    resources = subprocess.run([sys.executable, ROOT / "tests/resources/exe_resources_test.py", program])
    check(resources.returncode == 0, "the resource test on the program of these details")

    [setup] = BUILD.glob("SMorvala-*-setup.exe")
    script = setup_script(setup)
    setup_version = version_strings(setup)
    check(setup_version["CompanyName"] == DETAILS["PUBLISHER"], f"the setup's company: {setup_version}")
    check(setup_version["LegalCopyright"] == "版权所有 (C) " + DETAILS["PUBLISHER"],
          f"the setup's copyright: {setup_version}")
    for value in (DETAILS["PUBLISHER"], SITE):
        check(holds(script, value), f"the setup's entry lacks {value!r}")

    [deb] = BUILD.glob("smorvala_*_all.deb")
    with tempfile.TemporaryDirectory() as folder:
        files = package_files(deb, folder)
        control = files["DEBIAN/control"].decode()
        check(f"Maintainer: {DETAILS['PUBLISHER']} <{DETAILS['EMAIL']}>\n" in control, control)
        check(f"Homepage: {SITE}\n" in control, control)
        copyright_file = files["usr/share/doc/smorvala/copyright"].decode()
        check(f"Upstream-Contact: {DETAILS['PUBLISHER']} <{DETAILS['EMAIL']}>" in copyright_file, copyright_file)
        check(f"Source: {SITE}\n" in copyright_file, copyright_file)
        changelog = files["usr/share/doc/smorvala/changelog.gz"].decode()
        check(f" -- {DETAILS['PUBLISHER']} <{DETAILS['EMAIL']}>  " in changelog, changelog)
        [metainfo] = glob.glob(os.path.join(folder, "usr/share/metainfo/*.xml"))
        text = pathlib.Path(metainfo).read_text()
        for element in ("<developer_name>示例游戏 &amp; Co.</developer_name>", f'<url type="homepage">{SITE}</url>',
                        f"<image>{SITE}smorvala/screenshot.png</image>"):
            check(element in text, f"the AppStream file lacks {element}")
        valid = subprocess.run(["appstreamcli", "validate", "--no-net", metainfo], capture_output=True, text=True)
        check(valid.returncode == 0, f"the AppStream file: {valid.stdout}")

        home_page = (BUILD / "site" / "index.html").read_text()
        for line in ("<h1>示例游戏 &amp; Co.</h1>", f"邮箱： {DETAILS['EMAIL']}<br>", f"{DETAILS['IM']}</p>"):
            check(line in home_page, f"the site's home page lacks {line}")
        edition = (BUILD / "site" / "play" / "index.html").read_text()
        for text in (f"邮箱： {DETAILS['EMAIL']}</p>", f">{DETAILS['IM']}</p>", f'href="{SITE}morvala.htm"'):
            check(text in edition, f"the web edition's page lacks {text}")
        places = {**{f"package: {name}": data for name, data in files.items()},
                  **{f"site: {page}": (BUILD / "site" / page).read_bytes() for page in ("index.html", "morvala.htm", "play/index.html")},
                  "the program": program.read_bytes(), "the setup's script": script,
                  "the setup's version block": str(setup_version).encode()}
        for place, data in places.items():
            for default in DEFAULTS:
                check(not holds(data, default), f"{place} still holds {default!r}")

    for failure in failures:
        print(f"FAILED: {failure}", file=sys.stderr)
    print(f"publisher's details: {'failed' if failures else 'every place holds the others, none the defaults'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
