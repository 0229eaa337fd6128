#!/usr/bin/python3
# Seeds of the test-mode extraction fuzz target (fuzz/zip_extract.cpp):
# small archives of each kind the reader takes, and a few damaged ones.
# Run from anywhere; writes into extract-corpus/ beside this script.
import io, os, struct, subprocess, tempfile, zipfile

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'extract-corpus')
os.makedirs(out, exist_ok=True)
text = b''.join(b'line %d of the seed\n' % i for i in range(40))

def save(name, data):
    with open(os.path.join(out, name), 'wb') as f:
        f.write(data)

def py(method, **kw):
    b = io.BytesIO()
    with zipfile.ZipFile(b, 'w', method) as z:
        z.writestr('dir/', b'')
        z.writestr('a.txt', text)
        z.writestr('d\u00e9j\u00e0.txt', b'utf-8 name')
        z.writestr('empty', b'')
    return b.getvalue()

save('stored.zip', py(zipfile.ZIP_STORED))
deflated = py(zipfile.ZIP_DEFLATED)
save('deflated.zip', deflated)

b = io.BytesIO()
with zipfile.ZipFile(b, 'w', zipfile.ZIP_DEFLATED) as z:
    with z.open('big.txt', 'w', force_zip64=True) as w:
        w.write(text)
save('zip64.zip', b.getvalue())

class Unseekable(io.RawIOBase):
    def __init__(self, f): self.f = f
    def writable(self): return True
    def write(self, data): return self.f.write(data)
b = io.BytesIO()
with zipfile.ZipFile(Unseekable(b), 'w', zipfile.ZIP_DEFLATED) as z:
    with z.open('streamed.txt', 'w') as w:
        w.write(text)
save('descriptor.zip', b.getvalue())

with tempfile.TemporaryDirectory() as d:
    with open(os.path.join(d, 'p.txt'), 'wb') as f:
        f.write(text)
    with open(os.path.join(d, 's.txt'), 'wb') as f:
        f.write(b'stored secret')
    subprocess.run(['zip', '-q', '-P', 'pw', 'classic.zip', 'p.txt'], cwd=d, check=True)
    subprocess.run(['zip', '-q', '-0', '-P', 'pw', 'classic.zip', 's.txt'], cwd=d, check=True)
    save('classic.zip', open(os.path.join(d, 'classic.zip'), 'rb').read())

# Damage: a flipped data byte, a declared size smaller than the data, and
# the directory cut off (the reader rebuilds it from the local headers).
bad = bytearray(deflated)
i = bad.find(b'PK\x03\x04', 1)
bad[i + 60] ^= 0x55
save('flipped.zip', bytes(bad))
small = bytearray(deflated)
for sig, off in ((b'PK\x03\x04', 22), (b'PK\x01\x02', 24)):
    at = small.find(sig, 40)
    struct.pack_into('<I', small, at + off, 100)
save('declared-small.zip', bytes(small))
save('nodir.zip', deflated[:deflated.find(b'PK\x01\x02')])
