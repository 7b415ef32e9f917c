#!/usr/bin/env python3
# upright.py IN OUT [IN OUT ...]: each picture turned upright as its EXIF orientation says,
# by Pillow's ImageOps.exif_transpose, saved as a PNG without EXIF: the reference the
# orientation test compares Tessaren's pictures with.
import sys

from PIL import Image, ImageOps

names = sys.argv[1:]
for source, target in zip(names[::2], names[1::2]):
    with Image.open(source) as picture:
        ImageOps.exif_transpose(picture).convert("RGB").save(target, "PNG")
