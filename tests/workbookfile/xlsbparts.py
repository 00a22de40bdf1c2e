"""Records of binary workbook parts (.xlsb), for tests that build or damage them."""


def records(data):
    """(type, body) of each record of a binary part."""
    out, i = [], 0
    while i < len(data):
        t = data[i] & 0x7F
        if data[i] & 0x80:
            i += 1
            t |= (data[i] & 0x7F) << 7
        i += 1
        size, shift = 0, 0
        while True:
            b = data[i]
            i += 1
            size |= (b & 0x7F) << shift
            shift += 7
            if not b & 0x80:
                break
        out.append((t, data[i:i + size]))
        i += size
    return out


def record(t, body):
    head = bytes([t & 0x7F | 0x80, t >> 7]) if t >= 0x80 else bytes([t])
    size, sizes = len(body), b""
    while True:
        b = size & 0x7F
        size >>= 7
        sizes += bytes([b | (0x80 if size else 0)])
        if not size:
            break
    return head + sizes + body
