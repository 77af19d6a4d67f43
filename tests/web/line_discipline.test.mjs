// The page's line discipline in node, step by step: lines delivered from the
// field, keys typed, what a read or a key wait takes, and what the
// transcript was shown.
// Usage: node --test line_discipline.test.mjs
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { LineDiscipline } from '../../web/line_discipline.mjs';

const decoder = new TextDecoder();

// Each step: ['deliver', text] (Enter in the field), ['end', text] (Ctrl-D
// in the field), ['type', keys] (keys while no line is read), ['read',
// expected line] (read with a size of 4096 unless ['read', line, size]),
// ['key', expected code], ['waits', 'read' | 'key', rest]: that wait is not
// kept yet, and the field was handed rest; ['output', text]: the program
// writes text; ['interrupt']: Ctrl-C; or ['shown', text]: what the transcript
// shows by now. At the end the run is over, and the transcript shows all it
// was given. A case may give, last, what the transcript shows when the run
// starts (the page holds the program's first lines).
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
    ['what the screen shows already is not shown again, and what follows is',
        [['output', 'a\n'], ['output', 'b\n'], ['shown', 'a\nb\n'], ['output', 'c\n'], ['deliver', 'x'],
            ['read', 'x\n']], 'a\nb\nc\nx\n', 'a\nb\n'],
    ['output written in other pieces than the lines shown',
        [['output', 'a'], ['output', '\nb\nc'], ['output', '\n'], ['type', 'q'], ['key', 0x71]], 'a\nb\nc\n', 'a\nb\n'],
    ['output that differs from what is shown: the screen shows what the program wrote',
        [['output', 'a\n'], ['output', 'x\n'], ['shown', 'a\nx\n'], ['output', 'b\n']], 'a\nx\nb\n', 'a\nb\n'],
    ['a wait before all that is shown was written: the screen shows what the program wrote',
        [['output', 'a\n'], ['waits', 'key'], ['shown', 'a\n'], ['type', 'q'], ['key', 0x71]], 'a\n', 'a\nb\n'],
    ['Ctrl-C before the program wrote what is shown', [['interrupt']], '^C\n', 'a\n'],
];

for (const [name, steps, shown, already = ''] of cases)
    test(name, async () => {
        let transcript = already;
        const field = [];
        const tty = new LineDiscipline((text, fresh) => (transcript = (fresh ? '' : transcript) + text), already);
        tty.onWait = (kind, rest) => kind === 'line' && field.push(rest);
        let waiting = null;
        for (const [what, value, extra] of steps) {
            if (what === 'deliver') tty.deliver(value);
            else if (what === 'end') tty.endInput(value);
            else if (what === 'type') tty.type(value);
            else if (what === 'output') tty.output(new TextEncoder().encode(value));
            else if (what === 'interrupt') tty.interrupt();
            else if (what === 'shown') assert.equal(transcript, value);
            if (!['read', 'key', 'waits'].includes(what)) continue;
            const size = what === 'read' ? (extra ?? 4096) : 4096;
            waiting ??= value === 'read' || what === 'read' ? tty.read(size) : tty.key();
            if (what === 'waits') {
                const kept = await Promise.race([waiting, new Promise(r => setImmediate(r, 'waiting'))]);
                assert.equal(kept, 'waiting', `${what} ${value} was kept`);
                if (extra !== undefined) assert.equal(field.at(-1), extra);
                continue;
            }
            const taken = await waiting;
            waiting = null;
            assert.deepEqual(what === 'read' ? decoder.decode(taken) : taken, value);
        }
        tty.close();
        assert.equal(transcript, shown);
    });

test('program output is shown as it is, a character split between writes whole', () => {
    let transcript = '';
    const tty = new LineDiscipline(text => (transcript += text));
    tty.output(new Uint8Array([0x61, 0xc3]));
    tty.output(new Uint8Array([0xa0, 0x0a, 0x0a]));
    tty.close();
    assert.equal(transcript, 'aà\n\n');
});

test('Ctrl-C ends the run: echoed, reported, and nothing is read after it', async () => {
    let transcript = '', interrupted = 0;
    const tty = new LineDiscipline(text => (transcript += text));
    tty.onInterrupt = () => interrupted++;
    const read = tty.read(4096);
    tty.interrupt();
    tty.deliver('c');
    const kept = await Promise.race([read, new Promise(r => setImmediate(r, 'waiting'))]);
    assert.equal(kept, 'waiting');
    assert.equal(interrupted, 1);
    assert.equal(transcript, '^C\n');
});
