// The page's line discipline in node, step by step: keys in, what a read or
// a key wait takes, and what the screen was shown.
// Usage: node --test line_discipline.test.mjs
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { LineDiscipline } from '../../web/line_discipline.mjs';

const decoder = new TextDecoder();

// Each step: ['type', keys], ['read', expected line] (read with a size of
// 4096 unless [ 'read', line, size ]), ['key', expected code],
// ['waits', 'read' | 'key']: that wait is not kept until the next step types,
// or ['shown', text]: what the screen shows by now. At the end the run is
// over, and the screen shows all it was given.
const cases = [
    ['a line is delivered on Enter, with a line feed', [['type', 'abc\r'], ['read', 'abc\n']],
        'abc\r\n'],
    ['Backspace erases one character, and nothing at the start',
        [['type', '\x7fx\x7fa\bb\x7f\x7fè\r'], ['read', 'è\n']], 'x\b \ba\b \bb\b \bè\r\n'],
    ['keys typed before the read wait for it, unechoed until then',
        [['type', 'a\rb\r'], ['read', 'a\n'], ['read', 'b\n']], 'a\r\nb\r\n'],
    ['a read waits for Enter, the keys echoed as they come',
        [['waits', 'read'], ['type', 'a'], ['shown', 'a'], ['type', 'b'], ['waits', 'read'],
            ['shown', 'ab'], ['type', '\r'], ['read', 'ab\n']], 'ab\r\n'],
    ['the echo of Enter is shown with the output that answers it',
        [['type', 'a\r'], ['read', 'a\n'], ['output', 'next\n'], ['shown', ''], ['waits', 'read'],
            ['shown', 'a\r\nnext\r\n']], 'a\r\nnext\r\n'],
    ['a pasted line is one line', [['type', 'abcdeabc\r'], ['read', 'abcdeabc\n']],
        'abcdeabc\r\n'],
    ['a long line is taken in parts', [['type', 'abcdef\r'], ['read', 'abcd', 4], ['read', 'ef\n']],
        'abcdef\r\n'],
    ['arrows and other control keys are not part of a line',
        [['type', '\x1b[Aa\x1b[1;5D\x01\x1bOPb\r'], ['read', 'ab\n']], 'ab\r\n'],
    ['Ctrl-D on an empty line ends the input, for every later read',
        [['type', '\x04'], ['read', ''], ['type', 'a\r'], ['read', '']], ''],
    ['Ctrl-D after some letters delivers them without a line feed',
        [['type', 'ab\x04'], ['read', 'ab']], 'ab'],
    ['a key wait takes one key, unechoed', [['type', 'xy'], ['key', 0x78], ['key', 0x79]], ''],
    ['a key of several codes is taken whole',
        [['type', '\x1b[A\x1b[15~\x1bOP\x1bx\x1b[1;5Aè€'], ['key', 0x1b], ['key', 0x1b],
            ['key', 0x1b], ['key', 0x1b], ['key', 0x1b], ['key', 0xe8], ['key', 0x20ac]], ''],
    ['a lone Escape is one key', [['type', '\x1b'], ['key', 0x1b], ['waits', 'key']], ''],
    ['a key wait waits for a key', [['waits', 'key'], ['type', 'q'], ['key', 0x71]], ''],
    ['a key wait never takes the rest of a delivered line',
        [['type', 'abcdef\r'], ['read', 'abc', 3], ['waits', 'key'], ['type', 'q'], ['key', 0x71],
            ['read', 'def\n']], 'abcdef\r\n'],
    ['keys after a delivered line wait for the key wait',
        [['type', 'abcdeabc\rq'], ['read', 'abcdeabc\n'], ['key', 0x71]], 'abcdeabc\r\n'],
];

for (const [name, steps, shown] of cases)
    test(name, async () => {
        let screen = '';
        const tty = new LineDiscipline(text => (screen += text));
        let waiting = null;
        for (const [what, value, size] of steps) {
            if (what === 'type' || what === 'output' || what === 'shown') {
                if (what === 'type') tty.input(value);
                if (what === 'output') tty.output(new TextEncoder().encode(value));
                if (what === 'shown') assert.equal(screen, value);
                continue;
            }
            if (what === 'waits') {
                waiting ??= value === 'read' ? tty.read(4096) : tty.key();
                const kept = await Promise.race([waiting, new Promise(r => setImmediate(r, 'waiting'))]);
                assert.equal(kept, 'waiting', `${what} ${value} was kept`);
                continue;
            }
            const taken = await (waiting ?? (what === 'read' ? tty.read(size ?? 4096) : tty.key()));
            waiting = null;
            assert.deepEqual(what === 'read' ? decoder.decode(taken) : taken, value);
        }
        tty.close();
        assert.equal(screen, shown);
    });

test('program output is shown with CR LF, a character split between writes whole', () => {
    let screen = '';
    const tty = new LineDiscipline(text => (screen += text));
    tty.output(new Uint8Array([0x61, 0xc3]));
    tty.output(new Uint8Array([0xa0, 0x0a, 0x0a]));
    tty.close();
    assert.equal(screen, 'aà\r\n\r\n');
});

test('Ctrl-C ends the run: echoed, reported, and nothing is read after it', async () => {
    let screen = '', interrupted = 0;
    const tty = new LineDiscipline(text => (screen += text));
    tty.onInterrupt = () => interrupted++;
    const read = tty.read(4096);
    tty.input('ab');
    tty.input('\x03');
    tty.input('c\r');
    const kept = await Promise.race([read, new Promise(r => setImmediate(r, 'waiting'))]);
    assert.equal(kept, 'waiting');
    assert.equal(interrupted, 1);
    assert.equal(screen, 'ab^C\r\n');
});
