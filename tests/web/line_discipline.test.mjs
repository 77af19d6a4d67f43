// The page's line discipline in node, step by step: lines delivered from the
// field, keys typed, what a read or a key wait takes, and what it echoed.
// Usage: node --test line_discipline.test.mjs
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { LineDiscipline } from '../../web/line_discipline.mjs';

const decoder = new TextDecoder();

// Each step: ['deliver', text] (Enter in the field), ['end', text] (Ctrl-D
// in the field), ['type', keys] (keys while no line is read), ['read',
// expected line] (read with a size of 4096 unless ['read', line, size]),
// ['key', expected code], ['waits', 'read' | 'key', rest]: that wait is not
// kept yet, and at a read the field goes on with rest; ['interrupt']: Ctrl-C;
// or ['shown', text]: what was echoed by now. At the end the run is over,
// and the echo is all the case gives.
const cases = [
    ['a delivered line is echoed at once, and read with its line feed',
        [['deliver', 'abc'], ['shown', 'abc\n'], ['read', 'abc\n']], 'abc\n'],
    ['lines delivered before the read wait for it in order',
        [['deliver', 'a'], ['deliver', 'b'], ['read', 'a\n'], ['read', 'b\n']], 'a\nb\n'],
    ['a read waits for a line', [['waits', 'read', ''], ['deliver', 'ab'], ['read', 'ab\n']], 'ab\n'],
    ['a long line is taken in parts', [['deliver', 'abcdef'], ['read', 'abcd', 4], ['read', 'ef\n']],
        'abcdef\n'],
    ['Ctrl-D on an empty field ends the input, for every later read',
        [['end', ''], ['read', ''], ['deliver', 'a'], ['read', '']], 'a\n'],
    ['Ctrl-D after some letters delivers them without a line feed',
        [['end', 'ab'], ['read', 'ab'], ['waits', 'read', '']], 'ab'],
    ['a key wait takes one key, unechoed', [['type', 'xy'], ['key', 0x78], ['key', 0x79]], ''],
    ['a key of several codes is taken whole',
        [['type', '\x1b[A\x1b[15~\x1bOP\x1bx\x1b[1;5Aè€😀'], ['key', 0x1b], ['key', 0x1b],
            ['key', 0x1b], ['key', 0x1b], ['key', 0x1b], ['key', 0xe8], ['key', 0x20ac],
            ['key', 0x1f600]], ''],
    ['a lone Escape is one key', [['type', '\x1b'], ['key', 0x1b], ['waits', 'key']], ''],
    ['a key wait waits for a key', [['waits', 'key'], ['type', 'q'], ['key', 0x71]], ''],
    ['a key wait never takes the rest of a delivered line',
        [['deliver', 'abcdef'], ['read', 'abc', 3], ['waits', 'key'], ['type', 'q'], ['key', 0x71],
            ['read', 'def\n']], 'abcdef\n'],
    ['keys typed ahead: the key, then a line edited and echoed when read, then the next key',
        [['type', 'sx\x7fabc\x1b[A\x01\x1bOP\rq'], ['shown', ''], ['key', 0x73], ['read', 'abc\n'],
            ['shown', 'abc\n'], ['key', 0x71]], 'abc\n'],
    ['an unfinished line typed ahead goes to the field',
        [['type', 'ab'], ['waits', 'read', 'ab'], ['deliver', 'abc'], ['read', 'abc\n']], 'abc\n'],
    ['Ctrl-D typed ahead ends the input',
        [['type', 'ab\x04\x04'], ['read', 'ab'], ['read', '']], 'ab'],
];

for (const [name, steps, shown] of cases)
    test(name, async () => {
        let transcript = '';
        const tty = new LineDiscipline(text => (transcript += text));
        let waiting = null;
        for (const [what, value, extra] of steps) {
            if (what === 'deliver') tty.deliver(value);
            else if (what === 'end') tty.endInput(value);
            else if (what === 'type') tty.type(value);
            else if (what === 'interrupt') tty.interrupt();
            else if (what === 'shown') assert.equal(transcript, value);
            if (!['read', 'key', 'waits'].includes(what)) continue;
            const size = what === 'read' ? (extra ?? 4096) : 4096;
            waiting ??= value === 'read' || what === 'read' ? tty.read(size) : tty.key();
            if (what === 'waits') {
                const kept = await Promise.race([waiting, new Promise(r => setImmediate(r, 'waiting'))]);
                assert.equal(kept, 'waiting', `${what} ${value} was kept`);
                assert.equal(tty.waitingFor, value === 'read' ? 'line' : 'key');
                if (extra !== undefined) assert.equal(tty.takeRest(), extra);
                continue;
            }
            const taken = await waiting;
            waiting = null;
            assert.deepEqual(what === 'read' ? decoder.decode(taken) : taken, value);
        }
        tty.close();
        assert.equal(transcript, shown);
    });

test('Ctrl-C ends the run: echoed, reported, and nothing is read after it', async () => {
    let transcript = '';
    const tty = new LineDiscipline(text => (transcript += text));
    const read = tty.read(4096);
    tty.interrupt();
    tty.deliver('c');
    const kept = await Promise.race([read, new Promise(r => setImmediate(r, 'waiting'))]);
    assert.equal(kept, 'waiting');
    assert.equal(await tty.interrupted, 130);
    assert.equal(tty.waitingFor, null);
    assert.equal(transcript, '^C\n');
});
