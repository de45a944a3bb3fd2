#!/usr/bin/env python3
# One table row per callgrind profile of a driver-side transfer case: instructions per
# RPBitBlt call, split into the routine, the per-row loop around it and the per-call work.
# Inclusive counts; a function listed under several files (inlined parts) counts once.
import re,subprocess,sys
def ann(f):
    out=subprocess.run(['callgrind_annotate','--inclusive=yes','--threshold=100',f],capture_output=True,text=True).stdout
    d={}
    for l in out.splitlines():
        m=re.match(r'\s*([\d,]+) \([\s\d.]+%\)\s+(.*)$',l)
        if m:
            n=re.sub(r'\s*\[.*\]$','',m.group(2)); n=re.sub(r'\(.*','',n); n=n.split(':')[-1] if '::' not in n else re.sub(r'^.*?\.(cpp|S|h):','',n)
            d[n]=max(d.get(n,0),int(m.group(1).replace(',','')))
    return d
print('| case | rows | Ir/call | routine | routine/row | row loop (Run, VectorTakes) | Prepare | probes | pattern rows | lock | source conversion | rest |')
for f in sys.argv[1:]:
    tree=subprocess.run(['callgrind_annotate','--tree=calling','--threshold=100',f],capture_output=True,text=True).stdout
    calls=int(re.search(r'marl::BitBlt\(marl::BlitCall const&, marl::RowRoutine&\) \(([\d,]+)x\)',tree).group(1).replace(',',''))
    rows=int(re.search(r'TieredRowRoutine::Run\(void const\*, void\*, void const\*\) \(([\d,]+)x\)',tree).group(1).replace(',',''))//calls
    d=ann(f); g=lambda k: d.get(k,0)/calls
    tot=g('RPBitBlt'); rout=g('MarlRunRoutine'); run=g('marl::vec::TieredRowRoutine::Run')-rout
    prep=g('marl::vec::TieredRowRoutine::Prepare'); probe=g('IsBadReadPtr')
    pat=g('marl::vec::PreparedPattern::Row')+g('marl::TransferPattern::Row')
    lock=g('CSMutex::Aquire')+g('CSMutex::Release')+g('CSMutex::CSMutex')+g('CSMutex::~CSMutex')
    conv=g('marl::ConvertSourceRow')
    rest=tot-rout-run-prep-probe-lock-conv-pat
    print('| %s | %d | %.0f | %.0f | %.0f | %.0f | %.0f | %.0f | %.0f | %.0f | %.0f | %.0f |'%(f.split('cg.')[-1],rows,tot,rout,rout/rows,run,prep,probe,pat,lock,conv,rest))
