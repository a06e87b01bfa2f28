#!/usr/bin/env python3
"""Reads the resources compiled into tavrin.exe and compares them with what the
program's windows, icons and version must be.

usage: check_resources.py tavrin.exe          (check; exit 1 and one line per fault)
       check_resources.py --dump tavrin.exe   (print what is inside)

It reads the PE file itself, so it judges what Windows will load, not the
resource script: the styles the resource compiler adds, the UTF-16 of the
Chinese texts, the ordinal of the picture, the sizes of the icon images.
"""
import re
import struct
import sys

RT_BITMAP, RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 2, 3, 5, 14, 16, 24
CLASS_ORDINALS = {0x80: 'Button', 0x81: 'Edit', 0x82: 'Static', 0x83: 'ListBox',
                  0x84: 'ScrollBar', 0x85: 'ComboBox'}

WS_CHILD_VISIBLE = 0x50000000
WS_CHILD = 0x40000000
WS_DISABLED = 0x08000000

# What the two windows are made of, control by control in template order:
# (id, class, text, (x, y, cx, cy), style). Every control is a child, and all
# but the create tab's hidden check box are visible. Text None means an
# ordinal (the bitmap id).
MAIN = dict(style=0x92CA08C0, rect=(0, 0, 229, 93), caption='    Tavrin V1.6',
            font=(8, 'MS Sans Serif'), controls=[
    (1044, 'SysListView32', 'List1', (5, 52, 219, 15), 0x5081F401),
    (1036, 'ComboBox', '', (63, 18, 127, 140), 0x50210102),
    (1039, 'Edit', '', (48, 33, 144, 12), WS_CHILD_VISIBLE | 0x00800000 | 0x00010000 | 0x0080),
    (1041, 'Button', '浏览', (195, 34, 30, 11), WS_CHILD_VISIBLE | 0x00010000),
    (1008, 'Button', '开始', (188, 75, 38, 14), WS_CHILD_VISIBLE | 0x00010000),
    (1007, 'Button', '关于', (3, 75, 38, 14), WS_CHILD_VISIBLE | 0x00010000),
    (1009, 'Button', '帮助', (42, 75, 41, 14), WS_CHILD_VISIBLE | 0x00010000),
    (1048, 'Button', '校验值', (142, 75, 44, 14), WS_CHILD_VISIBLE | 0x00010000),
    (1046, 'Button', '写入后校验', (88, 76, 90, 10), WS_CHILD_VISIBLE | 0x04000000 | 0x00010000 | 0x3),
    (1047, 'Button', '仅已分配分区', (88, 76, 90, 10), WS_CHILD | WS_DISABLED | 0x04000000 | 0x00010000 | 0x3),
    (1050, 'Button', '检测真实容量', (9, 34, 80, 10), WS_CHILD | 0x00020000 | 0x00010000 | 0x9),
    (1051, 'Button', '恢复为普通U盘', (100, 34, 90, 10), WS_CHILD | 0x00010000 | 0x9),
    (1043, 'Static', '映像档:', (7, 35, 36, 9), WS_CHILD_VISIBLE | 0x00020000),
    (1042, 'Static', '选择驱动器', (7, 20, 51, 8), WS_CHILD_VISIBLE | 0x00020000),
    (1034, 'SysTabControl32', 'Tab1', (0, 2, 229, 90), WS_CHILD_VISIBLE | 0x00020000),
    (1040, 'Static', '', (114, 3, 67, 8), WS_CHILD_VISIBLE | 0x00020000),
])
ABOUT = dict(style=0x80C808C0, rect=(0, 0, 283, 121), caption='About Tavrin',
             font=(8, 'MS Sans Serif'), controls=[
    (1010, 'Button', '捐赠', (87, 8, 47, 22), WS_CHILD_VISIBLE | 0x00010000 | 0x1),
    (1009, 'Button', '与我联系', (87, 37, 47, 22), WS_CHILD_VISIBLE | 0x00010000),
    (1011, 'Button', '定制软件', (87, 65, 47, 22), WS_CHILD_VISIBLE | 0x00010000 | 0x2000),
    (1045, 'Static', None, (16, 28, 55, 46), WS_CHILD_VISIBLE | 0x0E | 0x0100),
    (-1, 'Static', '*', (34, 97, 21, 8), WS_CHILD_VISIBLE | 0x00020000),
    (-1, 'Button', 'Featured Cat', (4, 4, 79, 112), WS_CHILD_VISIBLE | 0x7 | 0x0300),
    (-1, 'Static', '如果你喜欢这个工具,认为有所价值,请捐助以帮助我继续提供免费软件!',
     (142, 6, 138, 26), WS_CHILD_VISIBLE | 0x00020000),
    (-1, 'Static', '如果您发现该工具有任何错误,建议或者只是想打个招呼,请访问我的联系页!',
     (141, 35, 138, 26), WS_CHILD_VISIBLE | 0x00020000),
    (-1, 'Static', '就像你所看到的,如需要一个自定义的工具.请点击这里了解更多!',
     (142, 63, 138, 26), WS_CHILD_VISIBLE | 0x00020000),
    (1012, 'Button', '检查更新', (87, 93, 47, 22), WS_CHILD_VISIBLE | 0x00010000 | 0x2000),
    (-1, 'Static', '在线检查是否有更新版本.', (142, 91, 138, 26), WS_CHILD_VISIBLE | 0x00020000),
])
# The checksums: three read-only fields to copy from, one to paste into, the verdict.
READ_ONLY_FIELD = WS_CHILD_VISIBLE | 0x00800000 | 0x00010000 | 0x0080 | 0x0800
CHECKSUMS = dict(style=0x80C808C0, rect=(0, 0, 320, 98), caption='Checksums',
                 font=(8, 'MS Sans Serif'), controls=[
    (-1, 'Static', 'MD5:', (6, 8, 40, 8), WS_CHILD_VISIBLE),
    (1101, 'Edit', '', (50, 6, 264, 12), READ_ONLY_FIELD),
    (-1, 'Static', 'SHA-1:', (6, 24, 40, 8), WS_CHILD_VISIBLE),
    (1102, 'Edit', '', (50, 22, 264, 12), READ_ONLY_FIELD),
    (-1, 'Static', 'SHA-256:', (6, 40, 40, 8), WS_CHILD_VISIBLE),
    (1103, 'Edit', '', (50, 38, 264, 12), READ_ONLY_FIELD),
    (-1, 'Static', 'Expected:', (6, 60, 42, 8), WS_CHILD_VISIBLE),
    (1104, 'Edit', '', (50, 58, 264, 12), WS_CHILD_VISIBLE | 0x00800000 | 0x00010000 | 0x0080),
    (1105, 'Static', '', (50, 78, 200, 8), WS_CHILD_VISIBLE),
    (1, 'Button', 'OK', (264, 76, 50, 14), WS_CHILD_VISIBLE | 0x00010000 | 0x1),
])
# The same two windows in English: every text with Chinese in it has its
# English, the rest stay as they are; ids and styles are the Chinese window's,
# and so are the places but those of ENGLISH_RECTS.
ENGLISH = {
    '浏览': 'Browse', '开始': 'Start', '关于': 'About', '帮助': 'Help', '校验值': 'Checksums',
    '写入后校验': 'Verify write', '仅已分配分区': 'Allocated partitions only',
    '检测真实容量': 'Check real capacity', '恢复为普通U盘': 'Restore as USB drive',
    '映像档:': 'Image File:', '选择驱动器': 'Select Drive',
    '捐赠': 'Donate', '与我联系': 'Contact Me', '定制软件': 'Custom Software', '检查更新': 'Check for Updates',
    '如果你喜欢这个工具,认为有所价值,请捐助以帮助我继续提供免费软件!':
        'If you like this tool and find it worth something, please donate to help me keep making free software!',
    '如果您发现该工具有任何错误,建议或者只是想打个招呼,请访问我的联系页!':
        'If you find any bug in this tool, have a suggestion or just want to say hello, please visit my contact page!',
    '就像你所看到的,如需要一个自定义的工具.请点击这里了解更多!':
        'Like what you see? If you need a custom tool, click here to learn more!',
    '在线检查是否有更新版本.': 'Check online whether a newer version is available.',
}
# Where the English words need more room than the Chinese (control id: rect).
ENGLISH_RECTS = {1039: (56, 33, 136, 12), 1043: (7, 35, 48, 9), 1040: (162, 3, 67, 8),
                 1007: (3, 75, 32, 14), 1009: (37, 75, 32, 14), 1046: (72, 76, 63, 10), 1048: (137, 75, 55, 14),
                 1047: (72, 76, 119, 10), 1008: (194, 75, 32, 14)}
# The English button row of each tab, left to right: neighbours must not overlap (a
# check box under a button loses its clicks and the end of its text).
BUTTON_ROWS = ((1007, 1009, 1046, 1048, 1008), (1007, 1009, 1047, 1008))
CHINESE_CHARACTER = re.compile('[\u3000-\u9fff\uff00-\uffef]')
LANG_CHINESE_SIMPLIFIED, LANG_ENGLISH_US, LANG_NEUTRAL = 0x0804, 0x0409, 0


def in_english(window):
    english = dict(window)
    rects = ENGLISH_RECTS if window is MAIN else {}
    english['controls'] = [(cid, cls, ENGLISH.get(text, text), rects.get(cid, rect), style)
                           for cid, cls, text, rect, style in window['controls']]
    for text in [c[2] for c in english['controls']] + [english['caption']]:
        if text and CHINESE_CHARACTER.search(text):
            raise ValueError('no English for %r' % text)
    return english


ICON_IMAGES = sorted([(32, 32, 24), (48, 48, 24), (17, 16, 32)])
BITMAP = (75, 80, 24)
VERSION = (1, 6, 0, 0)


# ---- PE resource directory ------------------------------------------------------

def read_resources(data):
    """{(type, name): bytes} of the first language of every resource, and
    {(type, name, language): bytes} of each language."""
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    if data[pe:pe + 4] != b'PE\0\0':
        raise ValueError('not a PE file')
    machine, nsect, _, _, _, optsize, _ = struct.unpack_from('<HHIIIHH', data, pe + 4)
    opt = pe + 24
    magic = struct.unpack_from('<H', data, opt)[0]
    dirs = opt + (96 if magic == 0x10B else 112)
    rsrc_rva, _ = struct.unpack_from('<II', data, dirs + 2 * 8)
    sections = []
    for i in range(nsect):
        s = opt + optsize + 40 * i
        vsize, va, rawsize, rawptr = struct.unpack_from('<IIII', data, s + 8)
        sections.append((va, max(vsize, rawsize), rawptr))

    def off(rva):
        for va, size, raw in sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError('rva %#x outside sections' % rva)

    if rsrc_rva == 0:
        return {}, machine
    base = off(rsrc_rva)

    def entries(d):
        named, ids = struct.unpack_from('<HH', data, base + d + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from('<II', data, base + d + 16 + 8 * i)
            if name & 0x80000000:
                p = base + (name & 0x7FFFFFFF)
                n = struct.unpack_from('<H', data, p)[0]
                name = data[p + 2:p + 2 + 2 * n].decode('utf-16-le')
            yield name, target

    out = {}
    for rtype, t1 in entries(0):
        for rname, t2 in entries(t1 & 0x7FFFFFFF):
            for lang, t3 in entries(t2 & 0x7FFFFFFF):
                rva, size = struct.unpack_from('<II', data, base + t3)
                blob = data[off(rva):off(rva) + size]
                out.setdefault((rtype, rname), blob)
                out[(rtype, rname, lang)] = blob
    return out, machine


# ---- dialog templates -----------------------------------------------------------

def sz_or_ord(b, p):
    first = struct.unpack_from('<H', b, p)[0]
    if first == 0:
        return '', p + 2
    if first == 0xFFFF:
        return ('#', struct.unpack_from('<H', b, p + 2)[0]), p + 4
    end = p
    while struct.unpack_from('<H', b, end)[0] != 0:
        end += 2
    return b[p:end].decode('utf-16-le'), end + 2


def parse_dialog(b):
    ver, sig = struct.unpack_from('<HH', b, 0)
    if not (ver == 1 and sig == 0xFFFF):
        raise ValueError('only extended dialog templates are expected')
    _, exstyle, style, count, x, y, cx, cy = struct.unpack_from('<IIIHhhhh', b, 4)
    p = 26
    menu, p = sz_or_ord(b, p)
    cls, p = sz_or_ord(b, p)
    caption, p = sz_or_ord(b, p)
    font = None
    if style & 0x40:
        size, weight, italic, charset = struct.unpack_from('<HHBB', b, p)
        face, p = sz_or_ord(b, p + 6)
        font = (size, face)
    controls = []
    for _ in range(count):
        p = (p + 3) & ~3
        _, cex, cstyle, x1, y1, w1, h1, cid = struct.unpack_from('<IIIhhhhi', b, p)
        p += 24
        ccls, p = sz_or_ord(b, p)
        if isinstance(ccls, tuple):
            ccls = CLASS_ORDINALS.get(ccls[1], ccls)
        text, p = sz_or_ord(b, p)
        extra = struct.unpack_from('<H', b, p)[0]
        p += 2 + extra
        controls.append(dict(id=cid, cls=ccls, text=text, rect=(x1, y1, w1, h1), style=cstyle,
                             exstyle=cex))
    return dict(style=style, exstyle=exstyle, rect=(x, y, cx, cy), menu=menu, cls=cls,
                caption=caption, font=font, controls=controls)


def check_dialog(name, got, want, faults, bitmap_id):
    def fault(msg):
        faults.append('template %s: %s' % (name, msg))
    if got['style'] != want['style']:
        fault('style %#010x, want %#010x' % (got['style'], want['style']))
    if got['rect'] != want['rect']:
        fault('rect %s, want %s' % (got['rect'], want['rect']))
    if got['menu'] != '':
        fault('has a menu %r' % (got['menu'],))
    if got['caption'] != want['caption']:
        fault('caption %r, want %r' % (got['caption'], want['caption']))
    if got['font'] != want['font']:
        fault('font %r, want %r' % (got['font'], want['font']))
    if len(got['controls']) != len(want['controls']):
        fault('%d controls, want %d' % (len(got['controls']), len(want['controls'])))
    for i, (c, (wid, wcls, wtext, wrect, wstyle)) in enumerate(zip(got['controls'], want['controls'])):
        where = 'control %d (id %d)' % (i, wid)
        if c['id'] != wid:
            fault('%s: id %d' % (where, c['id']))
        if not isinstance(c['cls'], str) or c['cls'].lower() != wcls.lower():  # class names ignore case
            fault('%s: class %r, want %r' % (where, c['cls'], wcls))
        if wtext is None:
            if c['text'] != ('#', bitmap_id):
                fault('%s: text %r, want bitmap ordinal %d' % (where, c['text'], bitmap_id))
        elif wtext == '*':
            if not c['text'] or len(c['text']) > 12:
                fault('%s: name caption %r must be short and present' % (where, c['text']))
        elif c['text'] != wtext:
            fault('%s: text %r, want %r' % (where, c['text'], wtext))
        if c['rect'] != wrect:
            fault('%s: rect %s, want %s' % (where, c['rect'], wrect))
        if c['style'] != wstyle:
            fault('%s: style %#010x, want %#010x' % (where, c['style'], wstyle))
        if c['exstyle'] != 0:
            fault('%s: extended style %#x' % (where, c['exstyle']))


# ---- icons, bitmap, version, manifest -------------------------------------------

def icon_images(res):
    group = res.get((RT_GROUP_ICON, 110))
    if group is None:
        return None
    _, _, count = struct.unpack_from('<HHH', group, 0)
    images = []
    for i in range(count):
        w, h, _, _, _, bpp, _, icon_id = struct.unpack_from('<BBBBHHIH', group, 6 + 14 * i)
        dib = res.get((RT_ICON, icon_id), b'')
        if len(dib) < 40:
            images.append(('missing image', icon_id))
            continue
        _, dw, dh, _, dbpp = struct.unpack_from('<IiiHH', dib, 0)
        images.append((dw, dh // 2, dbpp))
        if (w or 256, h or 256, bpp) != (dw, dh // 2, dbpp):
            images.append(('directory disagrees with image', (w, h, bpp)))
    return sorted(images, key=str)


def version_numbers(blob):
    at = blob.find('VS_VERSION_INFO'.encode('utf-16-le'))
    if at < 0:
        return None
    p = (at + 32 + 3) & ~3
    sig, _, fms, fls, pms, pls = struct.unpack_from('<IIIIII', blob, p)
    if sig != 0xFEEF04BD:
        return None
    return ((fms >> 16, fms & 0xFFFF, fls >> 16, fls & 0xFFFF),
            (pms >> 16, pms & 0xFFFF, pls >> 16, pls & 0xFFFF))


def version_strings(blob):
    text = blob.decode('utf-16-le', errors='replace')
    return dict(re.findall(r'(FileVersion|ProductVersion)\x00+([0-9.]+)\x00', text))


def check(path):
    data = open(path, 'rb').read()
    res, machine = read_resources(data)
    faults = []
    if machine != 0x14C:
        faults.append('machine %#x is not i386' % machine)
    for name, lang, want in ((102, LANG_CHINESE_SIMPLIFIED, MAIN), (103, LANG_CHINESE_SIMPLIFIED, ABOUT),
                             (102, LANG_ENGLISH_US, in_english(MAIN)), (103, LANG_ENGLISH_US, in_english(ABOUT)),
                             (104, LANG_NEUTRAL, CHECKSUMS)):
        blob = res.get((RT_DIALOG, name, lang))
        if blob is None:
            faults.append('template %d in language %#06x missing' % (name, lang))
            continue
        check_dialog('%d/%#06x' % (name, lang), parse_dialog(blob), want, faults, 109)
    # The Chinese window's short words leave the end of the check boxes' strip
    # empty under the Checksums button; the English words need all of theirs.
    rects = {cid: rect for cid, _, _, rect, _ in in_english(MAIN)['controls']}
    for row in BUTTON_ROWS:
        for left, right in zip(row, row[1:]):
            if rects[left][0] + rects[left][2] > rects[right][0]:
                faults.append('102/%#06x: control %d runs into control %d' % (LANG_ENGLISH_US, left, right))
    # Each window in the two languages and nothing else: a template left in
    # another language would be what some system picks.
    for name, langs in ((102, {LANG_CHINESE_SIMPLIFIED, LANG_ENGLISH_US}),
                        (103, {LANG_CHINESE_SIMPLIFIED, LANG_ENGLISH_US}), (104, {LANG_NEUTRAL})):
        got = {k[2] for k in res if len(k) == 3 and k[0] == RT_DIALOG and k[1] == name}
        if got != langs:
            faults.append('template %d in languages %s, want %s' % (name, sorted(map(hex, got)), sorted(map(hex, langs))))
    got_icons = icon_images(res)
    if got_icons != ICON_IMAGES:
        faults.append('icon group 110 images %s, want %s' % (got_icons, ICON_IMAGES))
    bmp = res.get((RT_BITMAP, 109))
    if bmp is None:
        faults.append('bitmap 109 missing')
    else:
        _, w, h, _, bpp = struct.unpack_from('<IiiHH', bmp, 0)
        if (w, abs(h), bpp) != BITMAP:
            faults.append('bitmap 109 is %dx%d at %d bits, want %s' % (w, abs(h), bpp, BITMAP))
    manifest = res.get((RT_MANIFEST, 1), b'').decode('utf-8', errors='replace')
    if not re.search(r'requestedExecutionLevel\s+level="requireAdministrator"\s+uiAccess="false"',
                     manifest):
        faults.append('manifest 1 does not ask for requireAdministrator with uiAccess false')
    # Vista, 7, 8, 8.1 and 10/11: without them the newer systems report an older version.
    for name, guid in (('Vista', 'e2011457-1546-43c5-a5fe-008deee3d3f0'),
                       ('7', '35138b9a-5d96-4fbd-8e2d-a2440225f93a'),
                       ('8', '4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38'),
                       ('8.1', '1f676c76-80e1-4239-95bb-83d0f6d0da78'),
                       ('10/11', '8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a')):
        if not re.search(r'<supportedOS\s+Id="\{' + guid + r'\}"', manifest, re.I):
            faults.append('manifest 1 does not declare Windows %s as supported' % name)
    if not re.search(r'<dpiAware[^>]*>\s*true\s*</dpiAware>', manifest) or \
            not re.search(r'<dpiAwareness[^>]*>\s*PerMonitorV2, system\s*</dpiAwareness>', manifest):
        faults.append('manifest 1 does not declare DPI awareness (system, per monitor on 10 and later)')
    ver = res.get((RT_VERSION, 1))
    if ver is None:
        faults.append('version resource missing')
    else:
        if version_numbers(ver) != (VERSION, VERSION):
            faults.append('version numbers %s, want file and product %s' % (version_numbers(ver), VERSION))
        strings = version_strings(ver)
        text = '.'.join(map(str, VERSION))
        for key in ('FileVersion', 'ProductVersion'):
            if strings.get(key) != text:
                faults.append('version string %s = %r, want %r' % (key, strings.get(key), text))
    return faults


def dump(path):
    res, machine = read_resources(open(path, 'rb').read())
    print('machine %#x' % machine)
    for key, blob in sorted(res.items(), key=str):
        if len(key) != 3:
            continue
        t, n, lang = key
        print('resource type %s name %s language %#06x: %d bytes' % (t, n, lang, len(blob)))
        if t == RT_DIALOG:
            d = parse_dialog(blob)
            print('  style %#010x rect %s caption %r font %r' % (d['style'], d['rect'], d['caption'], d['font']))
            for c in d['controls']:
                print('  id %5d %-16s %-30r %-20s style %#010x' % (c['id'], c['cls'], c['text'], c['rect'], c['style']))
    print('icons', icon_images(res))
    if (RT_VERSION, 1) in res:
        print('version', version_numbers(res[(RT_VERSION, 1)]), version_strings(res[(RT_VERSION, 1)]))


def main(argv):
    if len(argv) == 3 and argv[1] == '--dump':
        dump(argv[2])
        return 0
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[3])
        return 2
    faults = check(argv[1])
    for f in faults:
        print('resources: ' + f)
    if not faults:
        print('resources: templates 102/103 in Chinese and English, 104, icon 110, bitmap 109, manifest and version 1.6.0.0 as required')
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
