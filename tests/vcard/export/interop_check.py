#!/usr/bin/python3
"""Reads the cards Quillon writes with an independent parser (python3-vobject) and checks that
the fields come out as written, for vCard 2.1 and 3.0, in UTF-8 and in Windows-1251.

    interop_check.py WINE EXPORTER_EXE
Runs the exporter under Wine into a scratch folder, then parses its four files."""
import io
import os
import subprocess
import sys
import tempfile

import vobject

NOTE = "x" * 65 + " blank first on a continuation line\r\nSecond, line; end."

LATIN = {
    "fn": "Ann Lee",
    "n": ("Lee", "Ann", "Marie", "Dr."),
    "nickname": "Annie",
    "org": ["Acme, Inc.", "Sales"],
    "title": "Head of Sales, Europe",
    "note": NOTE,
    "tel": [("+1 555 0100", "WORK"), ("+1 555 0199", "CELL")],
    "adr": [("WORK", ("", "", "1 Main St\r\nFloor 2", "Springfield", "", "12345", "Utopia")),
            ("HOME", ("", "", "", "Shelbyville", "", "", ""))],
    "url": "http://example.com/ann",
    "email": "ann@example.com",
    "bday": "19750314",
}
CYRILLIC = {
    "fn": "Иван Петров",
    "n": ("Петров", "Иван", "", ""),
    "org": ["Рога и копыта"],
    "note": "Привет, мир",
    "tel": [("+7 495 000 00 00", "HOME")],
}
FILES = [("v21-utf8.vcf", "utf-8", "2.1"), ("v30-utf8.vcf", "utf-8", "3.0"),
         ("v21-cp1251.vcf", "windows-1251", "2.1"), ("v30-cp1251.vcf", "windows-1251", "3.0")]


def types(line):
    """Type words of a line, in either format's spelling."""
    words = [w.upper() for w in line.singletonparams]
    words += [w.upper() for w in line.params.get("TYPE", [])]
    return set(words)


def norm(text):
    # vobject turns an escaped \n of vCard 3.0 into a bare line feed.
    return text.replace("\r\n", "\n")


class Card21:
    """A vCard 2.1 card as vobject's line layer reads it: unfolding, quoted-printable soft breaks
    and decoding in the named charset, parameters. vobject's card layer applies only the vCard 3.0
    rules (commas as list separators, backslash escapes), which vCard 2.1 does not have."""

    def __init__(self):
        self.contents = {}


def parse21(text):
    cards = []
    card = None
    for line, number in vobject.base.getLogicalLines(io.StringIO(text), allowQP=True):
        content = vobject.base.textLineToContentLine(line, number)
        name = content.name.lower()
        if name == "begin":
            card = Card21()
        elif name == "end":
            cards.append(card)
        else:
            card.contents.setdefault(name, []).append(content)
    return cards


def fields(card, v21):
    """The fields of a parsed card. vCard 2.1 has no escaping and vobject only knows the vCard 3.0
    rules, so 2.1 cards are parsed untransformed and their compound values split at ';' here."""
    def text(name):
        lines = card.contents.get(name, [])
        return lines[0].value if lines else None

    f = {"fn": text("fn"), "nickname": text("nickname"), "title": text("title"), "url": text("url"),
         "bday": text("bday"), "note": norm(text("note") or "")}
    f["tel"] = [(t.value, "".join(sorted(types(t) - {"VOICE"}))) for t in card.contents.get("tel", [])]
    emails = card.contents.get("email", [])
    f["email"] = [(e.value, types(e) >= {"PREF", "INTERNET"}) for e in emails]
    adrs = []
    if v21:
        n = text("n").split(";")
        f["n"] = tuple(n[:4])
        f["org"] = text("org").split(";")
        for a in card.contents.get("adr", []):
            adrs.append(("".join(sorted(types(a))), tuple(norm(x) for x in a.value.split(";"))))
    else:
        n = card.n.value
        f["n"] = (n.family, n.given, n.additional, n.prefix)
        f["org"] = card.org.value
        for a in card.contents.get("adr", []):
            v = a.value
            adrs.append(("".join(sorted(types(a))),
                         (v.box, v.extended, norm(v.street), v.city, v.region, v.code, v.country)))
    f["adr"] = adrs
    return f


def check_card(card, want, v21, where, errors):
    got = fields(card, v21)
    expected = {"fn": want["fn"], "n": want["n"], "org": want["org"], "note": norm(want["note"]),
                "tel": want["tel"]}
    if "title" in want:
        expected.update({"nickname": want["nickname"], "title": want["title"], "url": want["url"],
                         "bday": want["bday"], "email": [(want["email"], True)],
                         "adr": [(k, tuple(norm(x) for x in parts)) for k, parts in want["adr"]]})
    for key, value in expected.items():
        if got[key] != value:
            errors.append("%s: %s is %r, expected %r" % (where, key, got[key], value))


def main():
    wine, exporter = sys.argv[1], sys.argv[2]
    errors = []
    with tempfile.TemporaryDirectory() as folder:
        run = subprocess.run([wine, exporter, "Z:" + folder.replace("/", "\\")], timeout=120)
        if run.returncode != 0:
            print("the exporter failed with", run.returncode)
            return 1
        for name, charset, version in FILES:
            with open(os.path.join(folder, name), "rb") as f:
                text = f.read().decode(charset)
            v21 = version == "2.1"
            cards = parse21(text) if v21 else list(vobject.readComponents(text))
            if len(cards) != 2:
                errors.append("%s: %d cards" % (name, len(cards)))
                continue
            for card in cards:
                if card.contents["version"][0].value != version:
                    errors.append("%s: VERSION %s" % (name, card.contents["version"][0].value))
            check_card(cards[0], LATIN, v21, name + " card 1", errors)
            check_card(cards[1], CYRILLIC, v21, name + " card 2", errors)
    for e in errors:
        print(e)
    print("%d files read back, %d differences" % (len(FILES), len(errors)))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
