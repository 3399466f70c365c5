#!/usr/bin/env python3
"""Mutation testing of the portable code (core/*.cpp) against the native unit tests.

Each mutant is one small change to one line of a copy of a source file: a relational operator to
its neighbour (< <=, > >=, == !=), && <-> ||, a negation dropped, true <-> false, a bool return
negated, a numeric or character constant +-1, a table row removed, or a statement removed. The
copy is compiled with the native tree's own flags to a private object, linked ahead of libcore.a
into a private core_tests, and the whole suite runs with a time-out. The worktree and build/native
are never modified; build/native must be built first (ninja -C build/native core_tests).
--tree build/asan builds the mutants with the sanitizer tree's flags instead: it sees reads past
an array's end that the plain tree passes, as the tests under ASan do.

    python3 scripts/mutate.py                          # every mutant of core/*.cpp
    python3 scripts/mutate.py --file core/text.cpp     # one file (repeatable)
    python3 scripts/mutate.py --sample 30 --seed 1     # 30 mutants drawn with a seed
    python3 scripts/mutate.py --per-file 20            # at most 20 mutants a file
    python3 scripts/mutate.py --list                   # the mutants, without running them
    python3 scripts/mutate.py --jobs 2                 # two mutants at once (one per free core)
    python3 scripts/mutate.py --tree build/asan --survivors   # the survivors again, under ASan

Results go to build/mutate/results.jsonl (--results), keyed by mutant id: a rerun skips mutants
already run, and runs survivors again once a test file has changed. Known equivalents are in
scripts/mutate_equivalents.txt ("<id> <file>:<line> <reason>"). Prints the score per file (killed,
survived, equivalent; stillborn mutants, which do not compile, are not counted) and every survivor
as file:line. Exits 1 when a mutant survives, 0 otherwise.
"""
import argparse
import concurrent.futures
import contextlib
import hashlib
import json
import os
import queue
import random
import re
import resource
import shlex
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, 'build', 'native')
EQUIVALENTS = os.path.join(ROOT, 'scripts', 'mutate_equivalents.txt')

RELATIONAL = {'<': '<=', '<=': '<', '>': '>=', '>=': '>', '==': '!=', '!=': '=='}
BINARY = re.compile(r'(?<=\s)(<=|>=|==|!=|<|>|&&|\|\|)(?=\s)')
NUMBER = re.compile(r"(?<![\w.])(0[xX][0-9a-fA-F]+|\d+)([uUlL]*)(?![\w.])")
CHAR = re.compile(r"'(\\?.)'")
NEGATION = re.compile(r'!(?!=)')
BOOL = re.compile(r'\b(true|false)\b')
DECLARATION = re.compile(r'^\s*(?:const\s+|static\s+|constexpr\s+)*[\w:]+(?:<[^;=]*>)?[\s*&]+\w+\s*(?:=|\{|;|\(|\[)')
STATEMENT_SKIP = re.compile(r'^\s*(?:return|break|continue|case|default|goto|using|typedef|namespace|template|#)\b')
FUNCTION = re.compile(r'^\s*(?:static\s+|inline\s+|constexpr\s+)*([\w:<>]+)\s+[\w:~]+\(.*[^;]\s*$')


def code_spans(line, in_comment):
    """The line with comments and literals blanked (same length), and whether a /* comment goes on."""
    out = []
    i = 0
    while i < len(line):
        if in_comment:
            end = line.find('*/', i)
            if end < 0:
                out.append(' ' * (len(line) - i))
                return ''.join(out), True
            out.append(' ' * (end + 2 - i))
            i = end + 2
            in_comment = False
        elif line.startswith('//', i):
            out.append(' ' * (len(line) - i))
            break
        elif line.startswith('/*', i):
            in_comment = True
        elif line[i] == '"':
            j = i + 1
            while j < len(line) and line[j] != '"':
                j += 2 if line[j] == '\\' else 1
            out.append('"' + ' ' * (min(j, len(line)) - i - 1) + ('"' if j < len(line) else ''))
            i = j + 1
        else:
            out.append(line[i])
            i += 1
    return ''.join(out), in_comment


def char_shift(literal, delta):
    if literal.startswith('\\'):
        escapes = {'\\0': 0, '\\n': 10, '\\r': 13, '\\t': 9, '\\\\': 92, "\\'": 39}
        if literal not in escapes:
            return None
        code = escapes[literal] + delta
    else:
        code = ord(literal) + delta
    if code < 32 or code > 126:
        return None
    c = chr(code)
    return "'\\\\'" if c == '\\' else "'\\''" if c == "'" else "'" + c + "'"


def mutants_of(path):
    """Every mutant of one file, in a fixed order: dicts of line (1-based), column, kind, text."""
    with open(os.path.join(ROOT, path)) as f:
        lines = f.read().split('\n')
    result = []
    in_comment = False
    returns = None  # the return type of the function being read
    depth = 0
    for number, line in enumerate(lines, 1):
        code, in_comment = code_spans(line, in_comment)
        stripped = code.strip()
        if stripped.startswith('#') or not stripped:
            continue
        function = FUNCTION.match(code)
        if function and '=' not in code.split('(')[0]:
            returns = function.group(1)
        depth += code.count('{') - code.count('}')

        def add(kind, start, end, replacement):
            result.append({'line': number, 'column': start + 1, 'kind': kind,
                           'original': line, 'mutated': line[:start] + replacement + line[end:]})

        # Literals: characters in '...' stay visible in code; shift them.
        for m in CHAR.finditer(code):
            for delta in (1, -1):
                shifted = char_shift(m.group(1), delta)
                if shifted:
                    add('char%+d' % delta, m.start(), m.end(), shifted)
        blanked = CHAR.sub(lambda m: ' ' * len(m.group(0)), code)
        for m in BINARY.finditer(blanked):
            op = m.group(1)
            if op in RELATIONAL:
                if op in '<>' and re.search(r'\w<|>\w', blanked[max(0, m.start() - 1):m.end() + 1]):
                    continue
                add('relational', m.start(), m.end(), RELATIONAL[op])
            else:
                add('logical', m.start(), m.end(), '||' if op == '&&' else '&&')
        for m in NEGATION.finditer(blanked):
            add('negation', m.start(), m.end(), '')
        for m in BOOL.finditer(blanked):
            add('bool', m.start(), m.end(), 'false' if m.group(1) == 'true' else 'true')
        for m in NUMBER.finditer(blanked):
            text, suffix = m.group(1), m.group(2)
            value = int(text, 16) if text.lower().startswith('0x') else int(text)
            if text != '0' and text.startswith('0') and not text.lower().startswith('0x'):
                continue  # octal spellings are left alone
            for delta in (1, -1):
                if value + delta < 0:
                    continue
                spelled = hex(value + delta) if text.lower().startswith('0x') else str(value + delta)
                add('constant%+d' % delta, m.start(), m.end(), spelled + suffix)
        ret = re.match(r'^(\s*)return (.+);\s*$', code)
        if ret and returns == 'bool' and ret.group(2).strip() not in ('true', 'false'):
            expr_start = len(ret.group(1)) + len('return ')
            expr_end = expr_start + len(ret.group(2))
            add('bool-return', expr_start, expr_end, '!(' + line[expr_start:expr_end] + ')')
        # A row of a table ({...},) or a statement on a line of its own, removed.
        if re.match(r'^\s*\{.*\},\s*$', code) and depth > 0:
            add('row-removed', 0, len(line), '')
        elif (stripped.endswith(';') and not STATEMENT_SKIP.match(code) and not DECLARATION.match(code)
              and stripped.count('(') == stripped.count(')') and not stripped.startswith(('}', ')'))
              and depth > 0 and (len(code) - len(code.lstrip())) > 0):
            add('statement-removed', 0, len(line), '')
    for m in result:
        key = '\0'.join((path, m['original'].strip(), m['mutated'].strip(), m['kind']))
        m['id'] = hashlib.sha1(key.encode()).hexdigest()[:10]
        m['file'] = path
    # Identical lines in one file give one id; the later ones are told apart by their order.
    seen = {}
    for m in result:
        n = seen.get(m['id'], 0)
        seen[m['id']] = n + 1
        if n:
            m['id'] = hashlib.sha1((m['id'] + str(n)).encode()).hexdigest()[:10]
    return result, lines


def build_commands():
    """The compile command of one core object (as a template) and the link of core_tests."""
    out = subprocess.run(['ninja', '-C', BUILD, '-t', 'commands', 'tests/core/core_tests'],
                         capture_output=True, text=True, check=True).stdout.splitlines()
    compile_line = next(l for l in out if 'core/CMakeFiles/core.dir/' in l and ' -c ' in l)
    link_line = out[-1]
    args = shlex.split(compile_line)
    if args[0] == 'ccache':
        args = args[1:]
    keep = []
    skip = False
    for a in args:
        if skip:
            skip = False
            continue
        if a in ('-MT', '-MF', '-o', '-c'):
            skip = True
            continue
        if a in ('-MD', '-g', '-Werror'):
            continue
        keep.append(a)
    keep.append('-w')  # a mutant the warnings would flag (&& among ||) still runs
    link = shlex.split(link_line.replace(': &&', '').replace('&& :', ''))
    if link[0] == 'ccache':
        link = link[1:]
    return keep, link


def tests_digest():
    h = hashlib.sha1()
    for d in ('tests/core', 'core'):
        for name in sorted(os.listdir(os.path.join(ROOT, d))):
            if name.endswith(('.cpp', '.h')) and (d == 'tests/core' or name.endswith('.h')):
                with open(os.path.join(ROOT, d, name), 'rb') as f:
                    h.update(name.encode() + f.read())
    return h.hexdigest()[:12]


def shown(m):
    return m['mutated'].strip() or '(removed) ' + m['original'].strip()


def run_mutant(m, compile_args, link_args, work, timeout):
    sanitized = any(a.startswith('-fsanitize') for a in compile_args)
    source = os.path.join(work, 'mutant.cpp')
    obj = os.path.join(work, 'mutant.o')
    exe = os.path.join(work, 'core_tests')
    with open(os.path.join(ROOT, m['file'])) as f:
        lines = f.read().split('\n')
    assert lines[m['line'] - 1] == m['original']
    lines[m['line'] - 1] = m['mutated']
    with open(source, 'w') as f:
        # The copy keeps the original's name in diagnostics and __FILE__.
        f.write('#line 1 "%s"\n' % os.path.join(ROOT, m['file']) + '\n'.join(lines))
    r = subprocess.run(compile_args + ['-o', obj, '-c', source], capture_output=True)
    if r.returncode != 0:
        return {'status': 'stillborn'}
    link = list(link_args)
    at = next(i for i, a in enumerate(link) if a.endswith('libcore.a'))
    link[at:at] = [obj]
    out = link.index('-o')
    link[out + 1] = exe
    if subprocess.run(link, cwd=BUILD, capture_output=True).returncode != 0:
        return {'status': 'stillborn'}  # a removed statement can leave a symbol undefined
    started = time.time()
    try:
        # A mutant that allocates without end fails its allocation at 4 GiB instead of taking the
        # machine's memory from the other jobs.
        # (Not under a sanitizer, whose shadow memory alone takes more address space.)
        limit = None if sanitized else lambda: resource.setrlimit(resource.RLIMIT_AS, (4 << 30, 4 << 30))
        r = subprocess.run([exe, '--gtest_brief=1'], cwd=BUILD, capture_output=True, text=True,
                           timeout=timeout, errors='replace', preexec_fn=limit)
    except subprocess.TimeoutExpired:
        return {'status': 'killed', 'by': ['(time-out)'], 'seconds': round(time.time() - started, 1)}
    failed = sorted(set(re.findall(r'^\[  FAILED  \] (\S+)', r.stdout, re.M)))
    if r.returncode == 0:
        return {'status': 'survived'}
    if not failed:
        running = re.findall(r'^\[ RUN      \] (\S+)', r.stdout, re.M)
        failed = [(running[-1] if running else '?') + ' (crash)']
    return {'status': 'killed', 'by': failed}


def print_redundant(results):
    """The tests (a parameterized test counted once) none of whose kills is theirs alone."""
    def test_of(name):
        name = re.sub(r'^[^./]+/', '', name.split()[0])  # the instantiation's prefix
        return re.sub(r'/[^/]*$', '', name) if '/' in name else name
    listing = subprocess.run([os.path.join(BUILD, 'tests', 'core', 'core_tests'), '--gtest_list_tests'],
                             capture_output=True, text=True, check=True).stdout
    tests, suite = [], ''
    for line in listing.splitlines():
        if not line.startswith(' '):
            suite = line.split()[0]
        elif test_of(suite + line.split()[0]) not in tests:
            tests.append(test_of(suite + line.split()[0]))
    unique = set()
    for r in results:
        by = {test_of(t) for t in r.get('by', []) if not t.startswith('(')}
        if len(by) == 1:
            unique |= by
    redundant = [t for t in tests if t not in unique]
    print('\ntests that kill no mutant of this run another test does not also kill (%d of %d):' % (
        len(redundant), len(tests)))
    for t in redundant:
        print('  ' + t)


def load_equivalents():
    known = {}
    if os.path.exists(EQUIVALENTS):
        for line in open(EQUIVALENTS):
            line = line.strip()
            if line and not line.startswith('#'):
                parts = line.split(None, 2)
                known[parts[0]] = (parts[1] if len(parts) > 1 else '', parts[2] if len(parts) > 2 else '')
    return known


def main():
    global BUILD
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--file', action='append', help='a core/*.cpp file (repeatable); default all')
    parser.add_argument('--seed', type=int, default=1)
    parser.add_argument('--sample', type=int, help='run this many mutants, drawn with the seed')
    parser.add_argument('--per-file', type=int, help='run at most this many mutants of each file')
    # The unmutated tests take well under a second: a mutant still running after 10 s loops.
    parser.add_argument('--timeout', type=float, default=10, help='seconds for one test run')
    parser.add_argument('--jobs', type=int, default=1, help='mutants built and run at once')
    parser.add_argument('--results', default=os.path.join(ROOT, 'build', 'mutate', 'results.jsonl'))
    parser.add_argument('--tree', default=BUILD, help='the built tree whose flags and tests are used')
    parser.add_argument('--survivors', action='store_true', help='run only the mutants that survived last time')
    parser.add_argument('--list', action='store_true', help='print the mutants and stop')
    parser.add_argument('--quiet', action='store_true', help='no line per mutant')
    parser.add_argument('--redundant', action='store_true',
                        help='also list the tests that kill no chosen mutant another test does not kill')
    args = parser.parse_args()
    BUILD = os.path.abspath(args.tree)
    # A stopped run leaves no temporary directory; the sources are never touched.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

    files = args.file or sorted('core/' + n for n in os.listdir(os.path.join(ROOT, 'core')) if n.endswith('.cpp'))
    files = [os.path.relpath(os.path.join(ROOT, f), ROOT) if not f.startswith('core/') else f for f in files]
    by_file = {f: mutants_of(f)[0] for f in files}
    rng = random.Random(args.seed)
    chosen = []
    for f in files:
        ms = by_file[f]
        if args.per_file is not None and len(ms) > args.per_file:
            ms = sorted(rng.sample(ms, args.per_file), key=lambda m: (m['line'], m['column'], m['kind']))
        chosen.extend(ms)
    if args.sample is not None and len(chosen) > args.sample:
        chosen = sorted(rng.sample(chosen, args.sample), key=lambda m: (m['file'], m['line'], m['column']))
    if args.list:
        for m in chosen:
            print('%s %s:%d %-17s %s' % (m['id'], m['file'], m['line'], m['kind'], shown(m)))
        print('%d mutants' % len(chosen))
        return 0

    equivalents = load_equivalents()
    digest = tests_digest()
    last = {}  # each mutant's latest result
    os.makedirs(os.path.dirname(args.results), exist_ok=True)
    if os.path.exists(args.results):
        for line in open(args.results):
            r = json.loads(line)
            last[r['id']] = r
    survived = {i for i, r in last.items() if r['status'] == 'survived'}
    # A survivor runs again once the tests have changed, or when asked for.
    done = {i: r for i, r in last.items() if i not in survived or (r.get('tests') == digest and not args.survivors)}
    compile_args, link_args = build_commands()
    started = time.time()
    todo = [m for m in chosen if m['id'] not in done and m['id'] not in equivalents
            and (not args.survivors or m['id'] in survived)]
    print('%d mutants chosen, %d to run' % (len(chosen), len(todo)), flush=True)
    # Each job builds in a directory of its own; results are written by this thread, in the
    # mutants' order.
    jobs = max(1, args.jobs)
    with contextlib.ExitStack() as stack, open(args.results, 'a') as results:
        free = queue.Queue()
        for _ in range(jobs):
            free.put(stack.enter_context(tempfile.TemporaryDirectory(prefix='mutate-')))

        def run_in_free_directory(m):
            work = free.get()
            try:
                return m, run_mutant(m, compile_args, link_args, work, args.timeout)
            finally:
                free.put(work)

        with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
            for i, (m, r) in enumerate(pool.map(run_in_free_directory, todo), 1):
                r.update(id=m['id'], file=m['file'], line=m['line'], kind=m['kind'], tests=digest, mutated=shown(m),
                         tree=os.path.relpath(BUILD, ROOT))
                results.write(json.dumps(r) + '\n')
                results.flush()
                done[m['id']] = r
                if not args.quiet:
                    print('[%d/%d %4.0fs] %-9s %s:%d %s: %s' % (i, len(todo), time.time() - started, r['status'],
                          m['file'], m['line'], m['kind'], shown(m)), flush=True)

    scores = {f: {'killed': 0, 'survived': 0, 'equivalent': 0, 'stillborn': 0} for f in files}
    survivors = []
    for m in chosen:
        if m['id'] in equivalents:
            scores[m['file']]['equivalent'] += 1
            continue
        if m['id'] not in done:
            continue  # not run yet (--survivors runs only the survivors)
        status = done[m['id']]['status']
        scores[m['file']][status] += 1
        if status == 'survived':
            survivors.append(m)
    print('\n%-30s %7s %9s %11s %10s %6s' % ('file', 'killed', 'survived', 'equivalent', 'stillborn', 'score'))
    total = {'killed': 0, 'survived': 0, 'equivalent': 0, 'stillborn': 0}
    for f in files:
        s = scores[f]
        for k in total:
            total[k] += s[k]
        run = s['killed'] + s['survived']
        print('%-30s %7d %9d %11d %10d %6s' % (f, s['killed'], s['survived'], s['equivalent'], s['stillborn'],
                                              '%.0f%%' % (100.0 * s['killed'] / run) if run else '-'))
    run = total['killed'] + total['survived']
    print('%-30s %7d %9d %11d %10d %6s' % ('total', total['killed'], total['survived'], total['equivalent'],
                                          total['stillborn'], '%.0f%%' % (100.0 * total['killed'] / run) if run else '-'))
    if survivors:
        print('\nsurvivors:')
        for m in survivors:
            print('  %s:%d [%s %s] %s' % (m['file'], m['line'], m['id'], m['kind'], shown(m)))
    if args.redundant:
        print_redundant([done[m['id']] for m in chosen if m['id'] in done])
    print('\n%.0f s' % (time.time() - started))
    return 1 if survivors else 0


if __name__ == '__main__':
    sys.exit(main())
