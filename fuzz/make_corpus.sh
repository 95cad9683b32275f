#!/usr/bin/env bash
# Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/: a few small
# files each, from the datafile generator, zip and python3. Run again after changing
# it; the files are kept in the repository so that a run needs none of these tools.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
corpus="$here/corpus"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
rm -rf "$corpus"
mkdir -p "$corpus"/{datafile,initext,webreleases,strings,zip,rename,settings,xmlconfig,cachefile}

# Datafiles: the generator's output, small, and the older versions by hand.
c++ -O1 -o "$work/gen_datafile" "$root/bench/gen_datafile.cpp"
"$work/gen_datafile" --games 6 --clones 1 --roms 2 --bios 1 --bios-users 2 --shared 1 --nodump 1 \
  --baddump 1 --clashes 1 "$corpus/datafile/generated.dat" >/dev/null
"$work/gen_datafile" --games 2 --clones 1 --roms 1 --bios 0 --bios-users 0 --shared 0 --nodump 0 \
  --baddump 0 --clashes 0 --seed 7 "$corpus/datafile/tiny.dat" >/dev/null

python3 - "$corpus" "$work" <<'PY'
import io, os, sys, zipfile, struct, subprocess
corpus, work = sys.argv[1], sys.argv[2]
S = b'\xac'
def put(target, name, data):
    with open(os.path.join(corpus, target, name), 'wb') as f:
        f.write(data)

def rom(*f):
    return S + S.join(x.encode('latin-1') for x in f) + S
put('datafile', 'v190.dat', b'[DAT]\r\nversion=1.90\r\n[GAMES]\r\n' +
    rom('pac', 'Pac', 'pac', 'Pac', 'pac.1', 'ABCDEF01', 'N', '4096', '', '') + b'\r\n[RESOURCES]\r\n')
put('datafile', 'v200-merge.dat', b'[DAT]\nversion=2.00\nplugin=Arcade.dll\n[EMULATOR]\nrefname=x\n[GAMES]\n' +
    rom('a', 'A', 'b', 'B', 'r.bin', '00000000', 'O', '12', 'a', 'r.bin') + b'\n' +
    rom('a', 'A', 'a', 'A', 'r.bin', '12345678', 'N', '', '', '') + b'\n')

# FuzzedDataProvider texts end at a backslash followed by any byte.
def fdp(*parts):
    return b''.join(p + b'\\|' for p in parts[:-1]) + parts[-1]

ini = b'[CREDITS]\r\nAuthor = someone \r\n[DAT]\r\nversion=2.50\r\n  [ Emulator ] trailing\r\nrefname=mame\r\n\xacnot=a key\r\n'
put('initext', 'header.ini', fdp(b'DAT', b'version', ini))
put('initext', 'case.ini', fdp(b'emulator', b'REFNAME', b'[a]\nk=1\n[A]\nk=2\n[b\nk=3\r\n=\n'))
put('settings', 'quarmelle.ini', fdp(b'Paths', b'Temp', b'/tmp/x', b'\xef\xbb\xbf[Paths]\r\nTemp=/old\r\n; comment\r\n\r\n[Other]\r\nTemp = keep\r\n'))
put('settings', 'new-section.ini', fdp(b'New', b'key', b' spaced value ', b'[Paths]\nA=1'))

rel = (b'[Info]\r\nRomType=MAME\r\nEmail=a@b.c\r\n[Datafiles]\r\n'
       b'x;MAME;0.250;12;someone;;comment;2026-01-01;http://example.org/dat/mame%20(0.250).zip\r\n'
       b'y;Other;1;1;me;;;;example.org/a;b.zip;\r\n;;;;\r\n')
put('webreleases', 'list.txt', fdp(b'Site|example.org/list.txt', rel))
put('webreleases', 'noinfo.txt', fdp(b'Lone', b'[datafiles]\nq;n;1;;;;;;../../x?y=1\n'))

put('strings', 'fields', b'\x01\x00\x00\x00\x00\x00\x00\x10;' + fdp(b'\xacparent\xacdesc\xacgame\xac', b'C:\\roms\\game.zip.zip'))
put('strings', 'numbers', fdp(b'-9223372036854775808', b'   n/a  ') + b'\xff' * 10)
put('strings', 'utf8', fdp(b'caf\xc3\xa9 \xe2\x82\xac  x', b'ABCDEF01') + b'\x05\x00\x00\x00\x00\x00\x00\x00')

put('xmlconfig', 'config.xml', b'''<?xml version="1.0" encoding="UTF-8"?>
<quarmelleconfigfile>
  <datafile referencename="mame">
    <webgamepage caption="Game &amp; more" url="http://example.org/?g=%game%"/>
  </datafile>
  <WebUpdate><site sitename="One" url="http://example.org/list.txt"/></WebUpdate>
</quarmelleconfigfile>
''')
put('xmlconfig', 'latin1.xml', b'<quarmelleconfigfile><webupdate><site sitename="caf\xe9 & co" url="x"/></webupdate>')

A = b'\xa4'
header = b'2\r\nLABEL\r\nABCD-1234\r\n09/12/2026 07:00:00\r\n/roms/\r\n3\r\narcade.dll\r\n'
recs = [A + A.join([b'A', b'game.zip', b'1234', b'1234567', b'sub/rom.bin', b'99', b'abcdef01', b'.bin', b'', b'two%0D%0Alines %A4 100%25']),
        A + A.join([b'F', b'loose.bin', b'10', b'', b'n/a', b'', b'', b'']),
        A + A.join([b'D', b'folder', b'rom.bin', b'-1', b'0', b'00000000', b'', b'Read error', b''])]
put('cachefile', 'quarmelle1.dat', header + b'\r\n'.join(recs) + b'\r\n')
put('cachefile', 'short.dat', b'2\nx\n' + recs[0] + b'\n' + A * 3 + b'\n')

def zipbytes(entries, comment=b'', method=zipfile.ZIP_DEFLATED):
    b = io.BytesIO()
    with zipfile.ZipFile(b, 'w', method) as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name)
            info.compress_type = method
            z.writestr(info, data)
        z.comment = comment
    return b.getvalue()

zips = {
    'plain.zip': zipbytes([('a.bin', b'alpha' * 20), ('roms/b.bin', b'b' * 300), ('roms/', b'')]),
    'stored.zip': zipbytes([('Rom[1].bin', b'x'), ('a-b.bin', b'yy'), ('what?.bin', b'z')], b'comment', zipfile.ZIP_STORED),
    'unsafe.zip': zipbytes([('../up.bin', b'u'), ('/abs.bin', b'a'), ('d/../../e.bin', b'e'), ('win\\sub\\f.bin', b'f'), ('..', b'x')]),
    'empty.zip': b'PK\x05\x06' + b'\x00' * 18,
}
# A data descriptor after the data, as a streaming zip writes it.
p = subprocess.run(['zip', '-q', '-', '-'], input=b'streamed data\n' * 4, stdout=subprocess.PIPE, check=True)
zips['streamed.zip'] = p.stdout
for name, data in zips.items():
    put('zip', name, data)
    # Rename seeds: bit 0 set, the archive's length, the archive, then the choices.
    put('rename', name, b'\x01' + struct.pack('<H', len(data)) + data + bytes(range(0, 64, 3)))
put('rename', 'built-1', bytes([0]) + b'a/b\\|' + b'data\\|' + bytes(range(40)))
put('rename', 'built-2', bytes([2]) + os.urandom(0) + b'AB.b\\|xyz\\|a/\\|' + bytes(range(255, 200, -1)))
PY
ls -R "$corpus" | head -50
