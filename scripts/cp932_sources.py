#!/usr/bin/env python3
"""Copies C++ sources with every narrow string and character literal spelled in code page
932 escapes, for compilers without -fexec-charset=CP932 (clang): "ソ" becomes "\\203\\134".

usage: cp932_sources.py OUT_DIR SRC_ROOT FILE...   (each FILE relative to SRC_ROOT)
Comments and prefixed literals (u"", u8"", L"", R"()") are copied unchanged.
"""
import os
import sys

PREFIXES = {"u8", "u", "U", "L", "u8R", "uR", "UR", "LR", "R"}


def octal(ch):
    return "".join("\\%03o" % b for b in ch.encode("cp932"))


def narrow(body):
    """The inside of a narrow literal, its non-ASCII characters and \\u escapes as CP932."""
    out, i = [], 0
    while i < len(body):
        c = body[i]
        if c == "\\" and i + 1 < len(body):
            n = body[i + 1]
            if n in "uU":
                width = 4 if n == "u" else 8
                out.append(octal(chr(int(body[i + 2:i + 2 + width], 16))))
                i += 2 + width
                continue
            out.append(body[i:i + 2])
            i += 2
            continue
        out.append(octal(c) if ord(c) > 0x7F else c)
        i += 1
    return "".join(out)


def convert(src):
    out, i, n = [], 0, len(src)
    while i < n:
        c = src[i]
        if src.startswith("//", i):
            j = src.find("\n", i)
            j = n if j < 0 else j
            out.append(src[i:j])
            i = j
        elif src.startswith("/*", i):
            j = src.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(src[i:j])
            i = j
        elif c in "\"'":
            # The identifier just before the quote, if any, is the literal's prefix.
            k = i
            while k > 0 and (src[k - 1].isalnum() or src[k - 1] == "_"):
                k -= 1
            prefix = src[k:i]
            if prefix and prefix[0].isdigit():  # a digit separator: 1'000
                out.append(c)
                i += 1
                continue
            if c == '"' and prefix.endswith("R") and prefix in PREFIXES:
                open_paren = src.index("(", i)
                delim = src[i + 1:open_paren]
                j = src.index(")" + delim + '"', open_paren) + len(delim) + 2
                out.append(src[i:j])
                i = j
                continue
            j = i + 1
            while src[j] != c:
                j += 2 if src[j] == "\\" else 1
            body = src[i + 1:j]
            out.append(c + (body if prefix in PREFIXES else narrow(body)) + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def main():
    out_dir, root, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    for rel in files:
        with open(os.path.join(root, rel), encoding="utf-8") as f:
            text = convert(f.read())
        dest = os.path.join(out_dir, rel)
        os.makedirs(os.path.dirname(dest), exist_ok=True)
        old = None
        if os.path.exists(dest):
            with open(dest, encoding="ascii", errors="replace") as f:
                old = f.read()
        if old != text:
            with open(dest, "w", encoding="utf-8") as f:
                f.write(text)


if __name__ == "__main__":
    main()
