#!/usr/bin/env python3
# One table row per callgrind profile of a driver-side transfer case (cg.<set>_<case>, as
# profile_transfers.sh names them): instructions per RPBitBlt call, split into the routine,
# the row loop around it and the per-call work, and the reference (memcpy or memset of the
# same rows) per band row; for a floor case (cg.floor_<set>_<code>), the plain loop's
# instructions per band row beside the reference's. Inclusive counts; a function listed under
# several files (its inlined parts) counts once, at its largest entry, which holds the others.
import re, subprocess, sys


def annotate(profile, *options):
    return subprocess.run(['callgrind_annotate', '--threshold=100', *options, profile],
                          capture_output=True, text=True, check=True).stdout


ENTRY = re.compile(r'\s*([\d,]+) \([\s\d.]+%\)\s+(.*)$')


def inclusive(profile):
    """file:function entries and their inclusive Ir, the object in brackets dropped."""
    entries = []
    for line in annotate(profile, '--inclusive=yes').splitlines():
        m = ENTRY.match(line)
        if m:
            name = re.sub(r'\s*\[[^]]*\]$', '', m.group(2))
            entries.append((name, int(m.group(1).replace(',', ''))))
    return entries


def calls(tree, function):
    """Calls to a function (regex on its name) summed over every caller in a calling tree."""
    pattern = re.compile(r'^\s*[\d,]+ \([\s\d.]+%\)\s+>\s+.*?' + function + r'.*\(([\d,]+)x\)')
    return sum(int(m.group(1).replace(',', '')) for m in map(pattern.match, tree.splitlines()) if m)


# Groups of functions, by a regex on the function part of the entry (after "file:").
ROUTINE = r'MarlRunRoutine$'  # the asm entry; the generated code it runs shows as ???:0x...
CHAIN_ROWS = r'marl::TierChain::(Run|RunAllRows)\('  # with VectorTier::Takes inside
CHAIN_PREPARE = r'marl::TierChain::Prepare\('  # vector tier Prepare/PrepareWalk, byte-serial
PATTERN = [r'marl::vec::PreparedPattern::Row\(',  # inside Takes (per row)
           r'marl::vec::PreparedPattern::Walk\(',  # inside PrepareWalk
           r'marl::vec::PreparedPattern::Reset\(']  # inside Analyse (Prepare); Ensure is in Row/Walk
PROBES = r'IsBadReadPtr$'
LOCK = [r'CSMutex::CSMutex\(', r'CSMutex::Aquire\(', r'CSMutex::Release\(', r'CSMutex::~CSMutex\(']
CONVERSION = r'marl::ConvertSourceRow\('


def rows_of(case):
    # glyph16x24 and 64x64 name their size; band and rows600 cover the band's 64 rows.
    m = re.match(r'[a-z]*(\d+)x(\d+)', case)
    return int(m.group(2)) if m else 64


def summarise(profile):
    case = profile.split('cg.')[-1]
    rows = rows_of(case)
    entries = inclusive(profile)
    tree = annotate(profile, '--tree=calling')

    def ir(function):
        found = [c for name, c in entries if re.search(function, name.split(':', 1)[-1])]
        return max(found, default=0)

    def per_call(function):
        return ir(function) / calls(tree, function)

    reference = r'::CopyRows\(' if calls(tree, r'::CopyRows\(') else r'::SetRows\('
    reference_row = '%.0f %s' % (per_call(reference) / rows,
                                 'memcpy' if 'Copy' in reference else 'memset')
    if case.startswith('floor_'):
        # The plain SSE2 loop of a floor case, per band row, beside memcpy of the same rows.
        loop = per_call(r'TransferRowsSse2<') / rows
        floors.append('| %s | %d | %.0f | %s |' % (case[6:], rows, loop, reference_row))
        return
    n = calls(tree, r'\bRPBitBlt')
    g = lambda *functions: sum(ir(f) for f in functions) / n
    total = g(r'^RPBitBlt$')
    routine = g(ROUTINE)
    pattern_row, pattern_walk, pattern_reset = (g(f) for f in PATTERN)
    row_loop = g(CHAIN_ROWS) - routine - pattern_row
    prepare = g(CHAIN_PREPARE) - pattern_walk - pattern_reset
    pattern = pattern_row + pattern_walk + pattern_reset
    probes = g(PROBES)
    lock = g(*LOCK)
    conversion = g(CONVERSION)
    rest = total - routine - row_loop - prepare - pattern - probes - lock - conversion
    transfers.append('| %s | %d | %.0f | %.0f | %.0f | %.0f | %.0f | %.0f | %.0f | %.0f | %.0f | %.0f | %s |'
                     % (case, rows, total, routine, routine / rows, row_loop, prepare, probes,
                        pattern, lock, conversion, rest, reference_row))


transfers, floors = [], []
for profile in sys.argv[1:]:
    summarise(profile)
if transfers:
    print('| case | rows | Ir/call | routine | routine/row | row loop | Prepare | probes '
          '| pattern rows | lock | source conversion | rest | reference/row |')
    print('|' + '---|' * 13)
    print('\n'.join(transfers))
if floors:
    print('\n| floor case | rows | plain loop/row | reference/row |')
    print('|' + '---|' * 4)
    print('\n'.join(floors))
