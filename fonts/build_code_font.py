#!/usr/bin/python3
"""Builds the calculator code font from a base TrueType font.

Usage: build_code_font.py BASE.ttf OUTPUT.ttf

Calculator text is read byte for byte as Latin-1, so the font covers exactly the code
points U+0000 to U+00FF. The printable ASCII range keeps the base font's glyphs; every
code from 0x7F to 0xFF gets the calculator character listed in CALCULATOR_CHARACTERS,
drawn from the base font's own glyphs. The control characters get an empty glyph.
"""

import math
import sys
from dataclasses import dataclass

from fontTools.fontBuilder import FontBuilder, buildCmapSubTable
from fontTools.pens.boundsPen import BoundsPen
from fontTools.pens.recordingPen import DecomposingRecordingPen
from fontTools.pens.transformPen import TransformPen
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import TTFont

FAMILY = "Tavi Code"
STYLE = "Regular"
POSTSCRIPT_NAME = "TaviCode-Regular"
VERSION = "Version 1.000"
VENDOR = "TAVI"
WEIGHT_REGULAR = 400
FS_SELECTION_REGULAR = 0x40
CODE_PAGE_LATIN1 = 1 << 0
MAC_ROMAN_CMAP = (0, 1, 0)  # format, platform, encoding: one glyph per byte value

# OS/2 fields taken over from the base font unchanged.
CARRIED_OS2_FIELDS = (
    "fsType", "panose",
    "ySubscriptXSize", "ySubscriptYSize", "ySubscriptXOffset", "ySubscriptYOffset",
    "ySuperscriptXSize", "ySuperscriptYSize", "ySuperscriptXOffset", "ySuperscriptYOffset",
    "yStrikeoutSize", "yStrikeoutPosition",
    "sTypoAscender", "sTypoDescender", "sTypoLineGap", "usWinAscent", "usWinDescent",
)

FIRST_CODE = 0x00
LAST_CODE = 0xFF
FIRST_PRINTABLE = 0x20
FIRST_CALCULATOR = 0x7F

NOTDEF = ".notdef"
CONTROL_GLYPH = "control"

# Base font name records carried over unchanged: its licence asks for them to travel
# with every derived font.
CARRIED_NAME_IDS = {0: "copyright", 13: "licenseDescription", 14: "licenseInfoURL"}

SLANT = math.tan(math.radians(12))  # for the constants e and i
SMALL = 0.8  # digits squeezed into one character cell
ROOT_INDEX_SHARE = 0.6  # of the index's advance, so that a radical after it overlaps
NEGATION_SHARE = 0.6  # of the minus sign's width
NEGATION_RAISE = 250  # font units above the minus sign
NEGATION_SIDE = 40  # font units of space on either side


@dataclass(frozen=True)
class Part:
    """One base glyph drawn into a calculator glyph: scaled, slanted, then moved."""

    char: str
    dx: float = 0
    dy: float = 0
    sx: float = 1
    sy: float = 1
    slant: float = 0


@dataclass(frozen=True)
class Recipe:
    parts: tuple
    advance: float


class Base:
    """Glyphs, advances and bounds of the base font, looked up by character."""

    def __init__(self, path):
        self.font = TTFont(path)
        self.cmap = self.font.getBestCmap()
        self.glyphs = self.font.getGlyphSet()
        self.metrics = self.font["hmtx"].metrics

    def name(self, char):
        code = ord(char)
        if code not in self.cmap:
            sys.exit(f"base font lacks U+{code:04X}")
        return self.cmap[code]

    def advance(self, char):
        return self.metrics[self.name(char)][0]

    def bounds(self, char):
        pen = BoundsPen(self.glyphs)
        self.glyphs[self.name(char)].draw(pen)
        return pen.bounds

    def draw(self, part, pen):
        recording = DecomposingRecordingPen(self.glyphs)
        self.glyphs[self.name(part.char)].draw(recording)
        transform = (part.sx, 0, part.slant * part.sy, part.sy, part.dx, part.dy)
        recording.replay(TransformPen(pen, transform))


# Recipe builders. Each takes the base font first and returns a Recipe.

def copy(base, char):
    return Recipe((Part(char),), base.advance(char))


def slanted(base, char):
    return Recipe((Part(char, slant=SLANT),), base.advance(char))


def tight(base, char, share):
    """The glyph with only a share of its advance, so that the next one tucks in."""
    return Recipe((Part(char),), base.advance(char) * share)


def sequence(base, text, scale=1.0):
    parts, x = [], 0
    for char in text:
        parts.append(Part(char, dx=x, sx=scale, sy=scale))
        x += base.advance(char) * scale
    return Recipe(tuple(parts), x)


def accented(base, char, mark):
    """A letter with a combining mark centred over it."""
    x0, _, x1, _ = base.bounds(char)
    m0, _, m1, _ = base.bounds(mark)
    shift = (x0 + x1) / 2 - (m0 + m1) / 2
    return Recipe((Part(char), Part(mark, dx=shift)), base.advance(char))


def index_root(base, index, radical):
    """A small index sitting in the crook of a radical."""
    x = base.advance(index) * ROOT_INDEX_SHARE
    parts = (Part(index), Part(radical, dx=x))
    return Recipe(parts, x + base.advance(radical))


def fitted(base, char, box):
    """The glyph scaled evenly into the box (x0, y0, x1, y1) and centred there."""
    x0, y0, x1, y1 = base.bounds(char)
    scale = min((box[2] - box[0]) / (x1 - x0), (box[3] - box[1]) / (y1 - y0))
    dx = (box[0] + box[2]) / 2 - scale * (x0 + x1) / 2
    dy = (box[1] + box[3]) / 2 - scale * (y0 + y1) / 2
    return Part(char, dx=dx, dy=dy, sx=scale, sy=scale)


def stretched(base, char, box):
    """The glyph scaled to fill the box (x0, y0, x1, y1) exactly."""
    x0, y0, x1, y1 = base.bounds(char)
    sx = (box[2] - box[0]) / (x1 - x0)
    sy = (box[3] - box[1]) / (y1 - y0)
    return Part(char, dx=box[0] - sx * x0, dy=box[1] - sy * y0, sx=sx, sy=sy)


# Font units of the entry templates: a numerator box above a bar above a denominator box.
BOX = 600
TEMPLATE_MARGIN = 120
BAR_TOP, BAR_BOTTOM = 740, 680
BOX_GAP = 70
WHOLE_BOX = (100, 150, 900, 1250)


def stacked_boxes(base, left):
    right = left + BOX
    return (
        fitted(base, "\u25a1", (left, BAR_TOP + BOX_GAP, right, BAR_TOP + BOX_GAP + BOX)),
        stretched(base, "\u2212", (left - BOX_GAP, BAR_BOTTOM, right + BOX_GAP, BAR_TOP)),
        fitted(base, "\u25a1", (left, BAR_BOTTOM - BOX_GAP - BOX, right, BAR_BOTTOM - BOX_GAP)),
    )


def fraction_template(base):
    parts = stacked_boxes(base, TEMPLATE_MARGIN)
    return Recipe(parts, BOX + 2 * TEMPLATE_MARGIN)


def mixed_template(base):
    left = WHOLE_BOX[2] + TEMPLATE_MARGIN
    parts = (fitted(base, "\u25a1", WHOLE_BOX),) + stacked_boxes(base, left)
    return Recipe(parts, left + BOX + TEMPLATE_MARGIN)


def negation(base):
    """A short minus raised above the arithmetic one."""
    width = base.advance("\u2212") * NEGATION_SHARE
    part = Part("\u2212", dx=NEGATION_SIDE, dy=NEGATION_RAISE, sx=NEGATION_SHARE)
    return Recipe((part,), width + 2 * NEGATION_SIDE)


def glyph(char):
    return lambda base: copy(base, char)


# The calculator's characters: code -> (what it shows, how it is drawn from the base font).
CALCULATOR_CHARACTERS = {
    0x7F: ("square root", glyph("\u221a")),
    0x80: ("superscript 0", glyph("\u2070")),
    0x81: ("superscript 1", glyph("\u00b9")),
    0x82: ("squared", glyph("\u00b2")),
    0x83: ("cubed", glyph("\u00b3")),
    0x84: ("superscript 4", glyph("\u2074")),
    0x85: ("superscript 5", glyph("\u2075")),
    0x86: ("superscript 6", glyph("\u2076")),
    0x87: ("superscript 7", glyph("\u2077")),
    0x88: ("superscript 8", glyph("\u2078")),
    0x89: ("superscript 9", glyph("\u2079")),
    0x8A: ("superscript x", glyph("\u02e3")),
    0x8B: ("superscript plus", glyph("\u207a")),
    0x8C: ("superscript minus", glyph("\u207b")),
    0x8D: ("superscript left parenthesis", glyph("\u207d")),
    0x8E: ("superscript right parenthesis", glyph("\u207e")),
    0x8F: ("superscript n", glyph("\u207f")),
    0x90: ("left arrow", glyph("\u2190")),
    0x91: ("up arrow", glyph("\u2191")),
    0x92: ("down arrow", glyph("\u2193")),
    0x93: ("left-right arrow", glyph("\u2194")),
    0x94: ("plus-minus", glyph("\u00b1")),
    0x95: ("less or equal", glyph("\u2264")),
    0x96: ("greater or equal", glyph("\u2265")),
    0x97: ("approximately equal", glyph("\u2248")),
    0x98: ("negation", negation),
    0x99: ("theta", glyph("\u03b8")),
    0x9A: ("Delta", glyph("\u0394")),
    0x9B: ("infinity", glyph("\u221e")),
    0x9C: ("integral", glyph("\u222b")),
    0x9D: ("fraction template", fraction_template),
    0x9E: ("convert to, right-pointing triangle", glyph("\u25ba")),
    0x9F: ("left-pointing triangle", glyph("\u25c4")),
    0xA0: ("mixed number template", mixed_template),
    0xA1: ("root of any order", lambda base: index_root(base, "\u02e3", "\u221a")),
    0xA2: ("Sigma, sum", glyph("\u03a3")),
    0xA3: ("product", glyph("\u220f")),
    0xA4: ("angle", glyph("\u2220")),
    0xA5: ("pi", glyph("\u03c0")),
    0xA6: ("list L", glyph("L")),
    0xA7: ("list name prefix, small capital L", glyph("\u029f")),
    0xA8: ("store arrow", glyph("\u2192")),
    0xA9: ("x mean, x bar", lambda base: accented(base, "x", "\u0304")),
    0xAA: ("y mean, y bar", lambda base: accented(base, "y", "\u0304")),
    0xAB: ("sigma, standard deviation", glyph("\u03c3")),
    0xAC: ("y estimate, y hat", lambda base: accented(base, "y", "\u0302")),
    0xAD: ("mu", glyph("\u03bc")),
    0xAE: ("rho", glyph("\u03c1")),
    0xAF: ("chi", glyph("\u03c7")),
    0xB0: ("alpha", glyph("\u03b1")),
    0xB1: ("not equal", glyph("\u2260")),
    0xB2: ("estimated proportion, p hat", lambda base: accented(base, "p", "\u0302")),
    0xB3: ("beta", glyph("\u03b2")),
    0xB4: ("gamma", glyph("\u03b3")),
    0xB5: ("delta", glyph("\u03b4")),
    0xB6: ("epsilon", glyph("\u03b5")),
    0xB7: ("lambda", glyph("\u03bb")),
    0xB8: ("tau", glyph("\u03c4")),
    0xB9: ("phi", glyph("\u03c6")),
    0xBA: ("omega", glyph("\u03c9")),
    0xBB: ("Omega", glyph("\u03a9")),
    0xBC: ("parametric T, small capital T", glyph("\u1d1b")),
    0xBD: ("superscript 2 in names", glyph("\u00b2")),
    0xBE: ("R of R squared", glyph("R")),
    0xBF: ("degree", glyph("\u00b0")),
    0xC0: ("subscript 0", glyph("\u2080")),
    0xC1: ("subscript 1", glyph("\u2081")),
    0xC2: ("subscript 2", glyph("\u2082")),
    0xC3: ("subscript 3", glyph("\u2083")),
    0xC4: ("subscript 4", glyph("\u2084")),
    0xC5: ("subscript 5", glyph("\u2085")),
    0xC6: ("subscript 6", glyph("\u2086")),
    0xC7: ("subscript 7", glyph("\u2087")),
    0xC8: ("subscript 8", glyph("\u2088")),
    0xC9: ("subscript 9", glyph("\u2089")),
    0xCA: ("radian, superscript r", glyph("\u02b3")),
    0xCB: ("seconds, double prime", glyph("\u2033")),
    0xCC: ("transpose, superscript T", glyph("\u1d40")),
    0xCD: ("row multiplication sign", glyph("*")),
    0xCE: ("plus in names", glyph("+")),
    0xCF: ("prime", glyph("\u2032")),
    0xD0: ("constant e", lambda base: slanted(base, "e")),
    0xD1: ("cube root index", lambda base: tight(base, "\u00b3", ROOT_INDEX_SHARE)),
    0xD2: ("exponent E", glyph("\u1d07")),
    0xD3: ("ellipsis", glyph("\u2026")),
    0xD4: ("inverse, superscript minus one", lambda base: sequence(base, "\u207b\u00b9")),
    0xD5: ("ten", lambda base: sequence(base, "10", SMALL)),
    0xD6: ("imaginary unit i", lambda base: slanted(base, "i")),
    0xD7: ("black square", glyph("\u25a0")),
    0xD8: ("white square", glyph("\u25a1")),
    0xD9: ("up-pointing triangle", glyph("\u25b2")),
    0xDA: ("down-pointing triangle", glyph("\u25bc")),
    0xDB: ("check mark", glyph("\u2713")),
    0xDC: ("bullet", glyph("\u2022")),
    0xDD: ("full block cursor", glyph("\u2588")),
    0xDE: ("hyphen in names", glyph("-")),
    0xDF: ("one in names", glyph("1")),
    0xE0: ("two in names", glyph("2")),
    0xE1: ("left parenthesis in names", glyph("(")),
    0xE2: ("right parenthesis in names", glyph(")")),
    0xE3: ("Gamma", glyph("\u0393")),
    0xE4: ("Theta", glyph("\u0398")),
    0xE5: ("Lambda", glyph("\u039b")),
    0xE6: ("Xi", glyph("\u039e")),
    0xE7: ("Pi", glyph("\u03a0")),
    0xE8: ("Phi", glyph("\u03a6")),
    0xE9: ("Psi", glyph("\u03a8")),
    0xEA: ("zeta", glyph("\u03b6")),
    0xEB: ("eta", glyph("\u03b7")),
    0xEC: ("iota", glyph("\u03b9")),
    0xED: ("kappa", glyph("\u03ba")),
    0xEE: ("nu", glyph("\u03bd")),
    0xEF: ("xi", glyph("\u03be")),
    0xF0: ("upsilon", glyph("\u03c5")),
    0xF1: ("partial derivative", glyph("\u2202")),
    0xF2: ("nabla", glyph("\u2207")),
    0xF3: ("element of", glyph("\u2208")),
    0xF4: ("union", glyph("\u222a")),
    0xF5: ("intersection", glyph("\u2229")),
    0xF6: ("subset of", glyph("\u2282")),
    0xF7: ("empty set", glyph("\u2205")),
    0xF8: ("for all", glyph("\u2200")),
    0xF9: ("there exists", glyph("\u2203")),
    0xFA: ("not", glyph("\u00ac")),
    0xFB: ("logical and", glyph("\u2227")),
    0xFC: ("logical or", glyph("\u2228")),
    0xFD: ("exclusive or", glyph("\u2295")),
    0xFE: ("proportional to", glyph("\u221d")),
    0xFF: ("identical to", glyph("\u2261")),
}


def glyph_name(code):
    return f"uni{code:04X}"


def draw(base, recipe):
    pen = TTGlyphPen(None)
    for part in recipe.parts:
        base.draw(part, pen)
    return pen.glyph()


def left_side_bearing(glyph):
    return getattr(glyph, "xMin", 0)


def recipe_for(base, code):
    if code >= FIRST_CALCULATOR:
        return CALCULATOR_CHARACTERS[code][1](base)
    return copy(base, chr(code))


def build_glyphs(base):
    """Glyph outlines and metrics by name, and the name of every code point."""
    glyphs = {NOTDEF: base.font["glyf"][NOTDEF], CONTROL_GLYPH: TTGlyphPen(None).glyph()}
    metrics = {NOTDEF: base.metrics[NOTDEF], CONTROL_GLYPH: (0, 0)}
    cmap = {code: CONTROL_GLYPH for code in range(FIRST_CODE, FIRST_PRINTABLE)}
    for code in range(FIRST_PRINTABLE, LAST_CODE + 1):
        name = glyph_name(code)
        recipe = recipe_for(base, code)
        glyph = draw(base, recipe)
        glyph.recalcBounds(None)
        glyphs[name] = glyph
        metrics[name] = (recipe.advance, left_side_bearing(glyph))
        cmap[code] = name
    return glyphs, metrics, cmap


def name_strings(base):
    strings = {
        "familyName": FAMILY,
        "styleName": STYLE,
        "uniqueFontIdentifier": f"{FAMILY} {STYLE}",
        "fullName": f"{FAMILY} {STYLE}",
        "psName": POSTSCRIPT_NAME,
        "version": VERSION,
    }
    for name_id, key in CARRIED_NAME_IDS.items():
        record = base.font["name"].getDebugName(name_id)
        if record:
            strings[key] = record
    return strings


def build(base):
    glyphs, metrics, cmap = build_glyphs(base)
    head, hhea = base.font["head"], base.font["hhea"]
    os2, post = base.font["OS/2"], base.font["post"]

    builder = FontBuilder(head.unitsPerEm, isTTF=True)
    builder.updateHead(created=head.created, modified=head.modified)
    builder.setupGlyphOrder(list(glyphs))
    builder.setupCharacterMap(cmap)
    # A copy: subtables sharing one mapping object are written once, in the first format.
    builder.font["cmap"].tables.append(buildCmapSubTable(dict(cmap), *MAC_ROMAN_CMAP))
    builder.setupGlyf(glyphs)
    builder.setupHorizontalMetrics(metrics)
    builder.setupHorizontalHeader(ascent=hhea.ascent, descent=hhea.descent, lineGap=hhea.lineGap)
    builder.setupNameTable(name_strings(base))
    builder.setupOS2(
        achVendID=VENDOR,
        usWeightClass=WEIGHT_REGULAR,
        fsSelection=FS_SELECTION_REGULAR,
        ulCodePageRange1=CODE_PAGE_LATIN1,
        sxHeight=base.bounds("x")[3],
        sCapHeight=base.bounds("H")[3],
        **{field: getattr(os2, field) for field in CARRIED_OS2_FIELDS},
    )
    builder.setupPost(
        keepGlyphNames=False,
        underlinePosition=post.underlinePosition,
        underlineThickness=post.underlineThickness,
    )
    return builder.font


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    build(Base(argv[1])).save(argv[2])


if __name__ == "__main__":
    main(sys.argv)
