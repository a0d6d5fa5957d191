# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads a screenshot in the X Window Dump format (xwd -root) of a TrueColor screen, and writes it as PNG, with the standard library only."""
import struct
import zlib


class XwdImage:
    def __init__(self, data: bytes):
        fields = struct.unpack(">25I", data[:100])
        header_size = fields[0]
        self.width, self.height = fields[4], fields[5]
        byte_order = fields[7]
        self.bits_per_pixel = fields[11]
        self.bytes_per_line = fields[12]
        red_mask, green_mask, blue_mask = fields[14], fields[15], fields[16]
        ncolors = fields[19]
        if self.bits_per_pixel not in (24, 32):
            raise ValueError(f"{self.bits_per_pixel} bits per pixel: only 24 and 32 are read")
        self._bytes = self.bits_per_pixel // 8
        self._pixels = data[header_size + 12 * ncolors:]
        self._order = "<" if byte_order == 0 else ">"
        self._shifts = [(m, (m & -m).bit_length() - 1) for m in (red_mask, green_mask, blue_mask)]

    def pixel(self, x: int, y: int):
        """The colour at (x, y) as (red, green, blue)."""
        offset = y * self.bytes_per_line + self._bytes * x
        raw = self._pixels[offset:offset + self._bytes]
        value = int.from_bytes(raw, "little" if self._order == "<" else "big")
        return tuple((value & mask) >> shift for mask, shift in self._shifts)

    def write_png(self, path: str, box=None):
        """Writes the image, or the part `box` = (left, top, right, bottom), as PNG."""
        left, top, right, bottom = box or (0, 0, self.width, self.height)
        rows = bytearray()
        for y in range(top, bottom):
            rows.append(0)
            for x in range(left, right):
                rows.extend(self.pixel(x, y))
        chunk = lambda kind, body: (struct.pack(">I", len(body)) + kind + body
                                    + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
        with open(path, "wb") as out:
            out.write(b"\x89PNG\r\n\x1a\n")
            out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", right - left, bottom - top, 8, 2, 0, 0, 0)))
            out.write(chunk(b"IDAT", zlib.compress(bytes(rows), 6)))
            out.write(chunk(b"IEND", b""))
