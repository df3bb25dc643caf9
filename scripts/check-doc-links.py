#!/usr/bin/env python3
# Every relative link and image of the README and docs pages points at a file that exists, and
# every #anchor at a heading of its page (GitHub's slugs).
import re, os, glob, sys
def slug(h):
    h = h.strip().lower()
    h = re.sub(r'[^\w\- ]', '', h)   # drops punctuation, backticks, arrows
    return h.replace(' ', '-')
def anchors(path):
    text = open(path, encoding='utf-8').read()
    text = re.sub(r'```.*?```', '', text, flags=re.S)
    return {slug(m) for m in re.findall(r'^#+\s+(.*)$', text, flags=re.M)}
bad = 0; n = 0
os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
files = ['README.md'] + sorted(glob.glob('docs/*.md'))
for f in files:
    text = open(f, encoding='utf-8').read()
    for target in re.findall(r'\]\(([^)\s]+)\)', text):
        if re.match(r'[a-z]+:', target): continue
        n += 1
        path, _, frag = target.partition('#')
        dest = os.path.normpath(os.path.join(os.path.dirname(f), path)) if path else f
        if not os.path.exists(dest):
            print(f'{f}: missing {target}'); bad += 1; continue
        if frag and dest.endswith('.md') and frag not in anchors(dest):
            print(f'{f}: no heading for #{frag} in {dest}'); bad += 1
print(f'{n} links in {len(files)} pages, {bad} broken')
sys.exit(1 if bad else 0)
