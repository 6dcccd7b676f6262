#!/usr/bin/env bash
# Fails when a source file includes from a floor above its own. Each folder may include from
# itself and the floors listed for it (platform stands beside app: Qt adapters for app's
# interfaces, and app includes nothing of it). Tests, benchmarks and fuzz targets may include
# anything.
set -euo pipefail
cd "$(dirname "$0")/.."
python3 - <<'PY'
import pathlib, re, sys

below = {
    'engine': [],
    'message': ['engine'],
    'recovery': ['engine', 'message'],
    'writers': ['engine', 'message', 'recovery'],
    'cli': ['engine', 'message', 'recovery', 'writers'],
    'app': ['engine', 'message', 'recovery', 'writers'],
    'platform': ['engine', 'app'],
    'views': ['engine', 'message', 'recovery', 'app', 'platform'],
    'window': ['engine', 'message', 'recovery', 'writers', 'app', 'platform', 'views'],
}
include = re.compile(r'^\s*#\s*include\s+"([^"/]+)/', re.M)
bad = []
for floor, allowed in below.items():
    for path in sorted(pathlib.Path(floor).rglob('*')):
        if path.suffix not in ('.h', '.cpp'):
            continue
        for m in include.finditer(path.read_text(errors='replace')):
            target = m.group(1)
            if target != floor and target in below and target not in allowed:
                line = path.read_text(errors='replace').count('\n', 0, m.start()) + 1
                bad.append(f'{path}:{line}: {floor}/ includes {target}/')
for b in bad:
    print(b)
if bad:
    print(f'{len(bad)} includes run up the floors', file=sys.stderr)
    sys.exit(1)
print('floors hold')
PY
