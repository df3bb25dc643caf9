#!/usr/bin/env python3
"""Checks the compiled help file from the Linux side, with libchm's own tools (Debian libchm-bin).

    check_chm.py Quillon.chm

- enum_chmLib lists the file's contents: the two topics the dialogs' Help buttons ask for are there
  at exactly their paths, with the table of contents, the index and the start page;
- extract_chmLib unpacks it into a scratch folder: every page is reachable from the table of
  contents, and every link and picture of every page, of the table of contents and of the index
  names a file inside the help file (and, with #name, an anchor defined in that page).
Prints one line per fault and "N passed, N failed" at the end; exits 1 on any fault.
"""
import html.parser
import os
import posixpath
import subprocess
import sys
import tempfile
import urllib.parse

REQUIRED = [
    "Working_with_Marrow/Export_Outlook_contacts.htm",      # CDlgExport::kHelpTopic
    "Import_vCard,_iCard_Files_to_Contacts_Folders.htm",    # CDlgImport::kHelpTopic
    "CSV_files.htm",                                        # CDlgMapFields's Help button
    "index.htm",
    "Quillon.hhc",
    "Quillon.hhk",
]


class Links(html.parser.HTMLParser):
    """The href/src of a page, the Local values of a sitemap (TOC or index), and its anchors."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.refs = []
        self.anchors = set()

    def handle_starttag(self, tag, attrs):
        a = dict((k.lower(), v or "") for k, v in attrs)
        for key in ("href", "src"):
            if key in a:
                self.refs.append(a[key])
        if tag == "param" and a.get("name", "").lower() == "local":
            self.refs.append(a.get("value", ""))
        if tag == "a" and "name" in a:
            self.anchors.add(a["name"])
        if "id" in a:
            self.anchors.add(a["id"])


def parse(path):
    p = Links()
    with open(path, "rb") as f:
        p.feed(f.read().decode("utf-8", errors="replace"))
    return p


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    chm = sys.argv[1]
    faults = []
    checks = 0

    def check(ok, message):
        nonlocal checks
        checks += 1
        if not ok:
            faults.append(message)
            print("FAIL: " + message)

    listing = subprocess.run(["enum_chmLib", chm], capture_output=True, text=True, check=True).stdout
    names = set()
    for line in listing.splitlines():
        if "normal file" in line:
            names.add(line.split("normal file", 1)[1].strip().lstrip("/"))
    for required in REQUIRED:
        check(required in names, "not in the help file: /" + required)

    with tempfile.TemporaryDirectory(prefix="chmcheck") as out:
        subprocess.run(["extract_chmLib", chm, out], capture_output=True, check=True)
        files = set()
        for root, _, entries in os.walk(out):
            for e in entries:
                files.add(os.path.relpath(os.path.join(root, e), out).replace(os.sep, "/"))
        check(files >= names, "extract_chmLib did not unpack: " + ", ".join(sorted(names - files)))

        pages = sorted(f for f in files if f.lower().endswith((".htm", ".html")))
        sitemaps = [f for f in ("Quillon.hhc", "Quillon.hhk") if f in files]
        parsed = {f: parse(os.path.join(out, f)) for f in pages + sitemaps}
        toc_targets = set()
        for source in pages + sitemaps:
            base = posixpath.dirname(source)
            for ref in parsed[source].refs:
                split = urllib.parse.urlsplit(ref)
                if split.scheme in ("http", "https", "mailto"):
                    continue
                check(split.scheme == "" and ref != "", "%s: link %r is not a relative link" % (source, ref))
                if split.scheme:
                    continue
                target = posixpath.normpath(posixpath.join(base, urllib.parse.unquote(split.path))) \
                    if split.path else source
                check(target in files, "%s: %r names a file that is not in the help file" % (source, ref))
                if split.fragment and target in parsed:
                    check(split.fragment in parsed[target].anchors,
                          "%s: %r names an anchor that %s does not define" % (source, ref, target))
                if source == "Quillon.hhc":
                    toc_targets.add(target)
        check("Quillon.hhc" in parsed and len(toc_targets) > 0, "the table of contents lists no page")
        check("Quillon.hhk" in parsed and len(parsed["Quillon.hhk"].refs) > 0, "the index lists no page")
        for page in pages:
            check(page in toc_targets, "page not in the table of contents: " + page)
        for page in pages:
            with open(os.path.join(out, page), "rb") as f:
                text = f.read().decode("utf-8", errors="replace").lower()
            check("<title>" in text and "<title></title>" not in text, "page without a title: " + page)

    print("%d passed, %d failed" % (checks - len(faults), len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
