#!/usr/bin/env bash
# Which programs read Quillon's vCard files, and how well: the sample address book (and a probe
# folder of values readers are known to take apart) is exported under Wine in vCard 2.1 and 3.0,
# UTF-8 and windows-1252, one file and one file per contact, and each set is read by the vCard
# readers Debian packages: python3-vobject, Evolution's libebook-contacts (python3-gi with
# gir1.2-ebookcontacts-1.2), khard and Perl's Text::vCard (libtext-vcard-perl). For each reader and
# set it prints the cards read and every field that came back different from what was written.
#   scripts/check-readers.sh [BUILD_DIR]      (default build/x86_64; Quillon, QuillonDriver, wabstore,
#                                              wab32, LibBrisco built; the readers installed)
# The last set, "what-if-...", is NOT the writer's output: the vCard 2.1 UTF-8 files with their
# quoted-printable soft line breaks joined, to show what that change of the writer would do to each
# reader.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "${1:-$here/../build/x86_64}")
sets="$build/reader-sets"
missing=()
/usr/bin/python3 -c 'import vobject' 2>/dev/null || missing+=(python3-vobject)
/usr/bin/python3 -c 'import gi; gi.require_version("EBookContacts", "1.2")' 2>/dev/null || missing+=(python3-gi gir1.2-ebookcontacts-1.2)
/usr/bin/python3 -c 'import khard' 2>/dev/null || missing+=(khard)
perl -MText::vCard::Addressbook -e 1 2>/dev/null || missing+=(libtext-vcard-perl)
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing the readers: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}" >/dev/null
fi
cp "$here/check-readers-probe.txt" "$build/bin/check-readers-probe.txt"
rm -rf "$sets"; mkdir -p "$sets"
"$here/wine-session.sh" "$build" -- "$here/check-readers-inner.sh" "$build" "$sets"
what_if="$sets/what-if-v21-utf8-nosoftbreaks"
mkdir -p "$what_if"
for f in "$sets/v21-utf8-percontact"/*.vcf; do perl -0pe 's/=\r\n//g' "$f" > "$what_if/$(basename "$f")"; done
echo
exec /usr/bin/python3 "$here/check_readers.py" "$sets" "$here/../standins/wabstore/sample/sample-book.txt" \
  "$here/check-readers-probe.txt"
