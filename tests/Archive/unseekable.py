"""The fixture scripts' write-only stream that cannot seek: zipfile writing to it cannot go
back, so it writes data descriptors and zero local sizes."""
import io


class Unseekable(io.RawIOBase):
    def __init__(self, f):
        self.f = f

    def writable(self):
        return True

    def write(self, b):
        return self.f.write(b)
