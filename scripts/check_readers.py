#!/usr/bin/python3
"""Reads the exported sets of check-readers.sh with the vCard readers of other programs and prints,
per reader and set, how many cards each read and which fields came back different from the sample
address book the export was made from.

  check_readers.py SETS_FOLDER ADDRESS_BOOK...

A set's folder name tells its encoding ("-utf8-" or "-1252-"); every file is decoded with it before
a reader sees it, as a destination does when told the file's encoding. In the windows-1252 sets the
expected value is what that code page can hold (a character outside it is written as "?").
"""
import glob
import json
import logging
import os
import re
import subprocess
import sys

FIELDS = ("fn", "n", "tel", "email", "adr", "note", "bday")


def sample_contacts(paths):
    """The address books' contacts as the fields compared here, keyed by display name."""
    contacts, cur = {}, None
    for line in (line for path in paths for line in open(path, encoding="utf-8")):
        line = line.rstrip("\n")
        if line in ("contact", "group") or line.startswith(("folder ", "pab ")):
            cur = {} if line == "contact" else None
            continue
        if cur is None or " = " not in line:
            continue
        key, value = line.split(" = ", 1)
        cur[key] = re.sub(r"\\(.)", lambda m: {"n": "\n", "t": "\t"}.get(m.group(1), m.group(1)), value)
        if key == "PR_DISPLAY_NAME":
            contacts[value] = cur
    out = {}
    for name, c in contacts.items():
        g = c.get
        tels = sorted(v for k, v in c.items() if k.endswith(("_TELEPHONE_NUMBER", "_FAX_NUMBER")))
        # The e-mail lines the writer makes: the preferred address, then the list without the entry
        # that line already wrote.
        listed = c["PR_CONTACT_EMAIL_ADDRESSES"].split(" | ") if "PR_CONTACT_EMAIL_ADDRESSES" in c else []
        index = int(g("PR_CONTACT_DEFAULT_ADDRESS_INDEX", "-1"))
        preferred = g("PR_EMAIL_ADDRESS") or (listed[index] if 0 <= index < len(listed) else "")
        # The entry the preferred line already wrote is left out: the one at the index when it is
        # that address, else the first entry equal to it.
        written = index if 0 <= index < len(listed) else -1
        if written >= 0 and listed[written] != preferred:
            written = listed.index(preferred) if preferred in listed else -1
        emails = sorted(([preferred] if preferred else []) + [a for j, a in enumerate(listed) if a and j != written])
        adrs = []
        for kind in ("HOME", "BUSINESS"):
            parts = [g("PR_%s_ADDRESS_%s" % (kind, p), "") for p in
                     ("STREET", "CITY", "STATE_OR_PROVINCE", "POSTAL_CODE", "COUNTRY")]
            if any(parts):
                adrs.append(parts)
        out[name] = {
            "fn": name,
            "n": [g("PR_SURNAME", ""), g("PR_GIVEN_NAME", ""), g("PR_MIDDLE_NAME", ""), g("PR_DISPLAY_NAME_PREFIX", "")],
            "tel": tels, "email": emails, "adr": sorted(adrs),
            "note": g("PR_COMMENT", ""), "bday": g("PR_BIRTHDAY", "").replace("-", ""),
        }
    return out


def same(wrote, read, codec):
    """Whether a reader gave back what was written; a character the code page cannot hold matches
    whatever stands in its place (Windows writes "?" or a look-alike such as "G" for a Greek Gamma)."""
    if isinstance(wrote, list):
        return isinstance(read, list) and len(wrote) == len(read) and all(same(w, r, codec) for w, r in zip(wrote, read))
    if codec == "utf-8" or not isinstance(read, str):
        return wrote == read
    if len(wrote) != len(read):
        return False
    for w, r in zip(wrote, read):
        try:
            w.encode(codec)
        except UnicodeEncodeError:
            continue
        if w != r:
            return False
    return True


def split_cards(text):
    cards, cur = [], None
    for line in text.splitlines(keepends=True):
        if line.strip().upper() == "BEGIN:VCARD":
            cur = []
        if cur is not None:
            cur.append(line)
        if line.strip().upper() == "END:VCARD" and cur is not None:
            cards.append("".join(cur))
            cur = None
    return cards


def norm_bday(value):
    return str(value or "").replace("-", "")[:8]


# --- readers: each takes the decoded texts of a set's files and returns one dict per card read ---

def read_vobject(text):
    import vobject
    out = []
    if True:
        for card in vobject.readComponents(text):
            c = card.contents
            def val(name):
                return c[name][0].value if name in c else ""
            n = c["n"][0].value if "n" in c else None
            out.append({
                "fn": val("fn"),
                "n": [n.family, n.given, n.additional, n.prefix] if n else ["", "", "", ""],
                "tel": sorted(t.value for t in c.get("tel", [])),
                "email": sorted(e.value for e in c.get("email", [])),
                "adr": sorted([a.value.street, a.value.city, a.value.region, a.value.code, a.value.country]
                              for a in c.get("adr", [])),
                "note": val("note"), "bday": norm_bday(val("bday")),
            })
    return out


def read_evolution(text):
    # Evolution's importer cuts a file into cards itself and gives each to the vCard parser.
    import gi
    gi.require_version("EBookContacts", "1.2")
    from gi.repository import EBookContacts as E, GLib
    # Its warnings ("invalid escape, passing it through") show in the fields compared.
    GLib.log_set_handler("libebook-contacts", GLib.LogLevelFlags.LEVEL_WARNING, lambda *args: None)
    out = []
    for one in split_cards(text):
        card = E.VCard.new_from_string(one)
        by_name = {}
        for attr in card.get_attributes():
            by_name.setdefault(attr.get_name().upper(), []).append(attr)
        def value(name):
            return (by_name[name][0].get_value() or "") if name in by_name else ""
        n = (list(by_name["N"][0].get_values()) + [""] * 5)[:4] if "N" in by_name else ["", "", "", ""]
        adrs = [(list(a.get_values()) + [""] * 7)[2:7] for a in by_name.get("ADR", [])]
        out.append({
            "fn": value("FN"), "n": n,
            "tel": sorted(a.get_value() or "" for a in by_name.get("TEL", [])),
            "email": sorted(a.get_value() or "" for a in by_name.get("EMAIL", [])),
            "adr": sorted(adrs), "note": value("NOTE"), "bday": norm_bday(value("BDAY")),
        })
    return out


def read_khard(text):
    # khard reads a folder of one-card files (a vdir); its own layer over vobject is what it shows.
    import tempfile
    from khard.address_book import VdirAddressBook
    from khard.carddav_object import CarddavObject
    out = []
    with tempfile.TemporaryDirectory() as folder:
        for j, one in enumerate(split_cards(text)):
            with open(os.path.join(folder, "%d.vcf" % j), "w", encoding="utf-8") as f:
                f.write(one)
        book = VdirAddressBook("check", folder)
        for path in sorted(glob.glob(os.path.join(folder, "*.vcf"))):
            card = CarddavObject.from_file(book, path)
            if card is None:
                continue
            adrs = []
            for kind in card.post_addresses.values():
                for a in kind:
                    adrs.append([a.get(k, "") or "" for k in ("street", "city", "region", "code", "country")])
            adrs = [[("\n".join(x) if isinstance(x, list) else x) for x in a] for a in adrs]
            phones = [p for numbers in card.phone_numbers.values() for p in numbers]
            emails = [e for addresses in card.emails.values() for e in addresses]
            notes = card.notes
            bday = card.birthday
            out.append({
                "fn": card.formatted_name or "",
                "n": [" ".join(card._get_last_names()), " ".join(card._get_first_names()),
                      " ".join(card._get_additional_names()), " ".join(card._get_name_prefixes())],
                "tel": sorted(phones), "email": sorted(emails), "adr": sorted(adrs),
                "note": "\n".join(notes) if notes else "",
                "bday": bday.strftime("%Y%m%d") if hasattr(bday, "strftime") else norm_bday(bday),
            })
    return out


def read_perl_text_vcard(text):
    here = os.path.dirname(os.path.abspath(__file__))
    out = []
    if True:
        result = subprocess.run(["perl", os.path.join(here, "check_readers_text_vcard.pl")], input=text,
                                capture_output=True, encoding="utf-8", check=True)
        for line in result.stdout.splitlines():
            card = json.loads(line)
            card["tel"], card["email"], card["adr"] = sorted(card["tel"]), sorted(card["email"]), sorted(card["adr"])
            card["bday"] = norm_bday(card["bday"])
            out.append(card)
    return out


READERS = [("python3-vobject", read_vobject), ("Evolution libebook-contacts", read_evolution),
           ("khard", read_khard), ("Perl Text::vCard", read_perl_text_vcard)]


def main():
    logging.disable(logging.WARNING)  # khard's notes on every vCard 2.1 card
    sample = sample_contacts(sys.argv[2:])
    sets = sorted(d for d in glob.glob(os.path.join(sys.argv[1], "*")) if os.path.isdir(d))
    for reader_name, reader in READERS:
        print("== %s" % reader_name)
        for folder in sets:
            set_name = os.path.basename(folder)
            codec = "cp1252" if "-1252-" in set_name else "utf-8"
            cards, diffs = [], []
            for path in sorted(glob.glob(os.path.join(folder, "*.vcf"))):
                text = open(path, encoding=codec, newline="").read()
                try:
                    cards += reader(text)
                except Exception as e:  # the reader gave up on the file: its cards are lost
                    diffs.append("%s: reader gave up on the file (%d cards): %s: %s"
                                 % (os.path.basename(path), len(split_cards(text)), type(e).__name__,
                                    str(e).splitlines()[0] if str(e) else ""))
            # Names the code page cannot hold may coincide ("?? ??"): a card is matched with the
            # contact of its name that it differs least from.
            expected = list(sample.values())
            for card in cards:
                candidates = [w for w in expected if same(w["fn"], card["fn"], codec)] or \
                             [w for w in expected if w["email"] and same(w["email"], card["email"], codec)]
                if not candidates:
                    diffs.append("card %r is not in the sample" % card["fn"])
                    continue
                want = min(candidates, key=lambda w: sum(not same(w[f], card[f], codec) for f in FIELDS))
                expected.remove(want)
                for f in FIELDS:
                    if not same(want[f], card[f], codec):
                        diffs.append("%s %s: wrote %r, read %r" % (card["fn"], f.upper(), want[f], card[f]))
            diffs += ["%s: no card read" % w["fn"] for w in expected]
            print("  %-22s %2d cards read, %d differences" % (set_name, len(cards), len(diffs)))
            for d in diffs:
                print("      " + d)
    return 0


if __name__ == "__main__":
    sys.exit(main())
