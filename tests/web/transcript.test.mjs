// The page's transcript in node: what it shows of the program's output and
// of the echo, when the page holds the program's first lines (its intro)
// already, and which of the page's own elements stay.
// Usage: node --test transcript.test.mjs
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { Transcript } from '../../web/transcript.mjs';

// The transcript's element as the page holds it, with what the transcript
// uses of it: an element a line, the last one marked if it is open.
class Line {
    style = { setProperty() {} };
    constructor(text = '', open = false) {
        this.textContent = text;
        this.open = open;
    }
    append(text) {
        this.textContent += text;
    }
    hasAttribute(name) {
        return name === 'data-open' && this.open;
    }
}
function page(intro) {
    const lines = intro.split('\n');
    const last = lines.pop();
    const children = lines.map(line => new Line(line));
    if (last !== '') children.push(new Line(last, true));
    return {
        children,
        ownerDocument: { createElement: () => new Line() },
        append(line) { this.children.push(line); },
        replaceChildren() { this.children = []; },
    };
}
globalThis.requestAnimationFrame = () => {};

// Each case: the page's intro, the steps (['write', text or bytes] from the
// program, ['echo', text] of what is typed, ['endIntro'] when the program
// waits or ends, ['clear'] for a new run), the lines shown at the end, and
// how many of the page's own first lines are still the same elements.
const cases = [
    ['what the page shows already is not shown again, and what follows is', 'a\nb\n',
        [['write', 'a\n'], ['write', 'b\n'], ['write', 'c\n'], ['echo', 'x\n']], ['a', 'b', 'c', 'x'], 2],
    ['output in other pieces than the page\'s lines', 'a\nb\n',
        [['write', 'a'], ['write', '\nb\nc'], ['write', '\n'], ['endIntro']], ['a', 'b', 'c'], 2],
    ['one piece of output holds the rest of the intro and more', 'a\nb\n',
        [['write', 'a\n'], ['write', 'b\nc\nd'], ['endIntro']], ['a', 'b', 'c', 'd'], 2],
    ['the whole intro and more in one piece', 'a\nb\n', [['write', 'a\nb\nc\n']], ['a', 'b', 'c'], 2],
    ['the page\'s last line open: the output goes on on it', 'a\nb',
        [['write', 'a\nb'], ['write', 'c\n'], ['write', 'd\n']], ['a', 'bc', 'd'], 2],
    ['output that differs: the transcript shows what the program wrote', 'a\nb\n',
        [['write', 'a\n'], ['write', 'x\n'], ['write', 'b\n']], ['a', 'x', 'b'], 0],
    ['a wait before all of the intro was written: what the program wrote', 'a\nb\n',
        [['write', 'a\n'], ['endIntro'], ['write', 'c\n']], ['a', 'c'], 0],
    ['an echo before all of the intro was written (Ctrl-C)', 'a\n', [['echo', '^C\n']], ['^C'], 0],
    ['a character split between writes, shown whole', '',
        [['write', [0x61, 0xc3]], ['write', [0xa0, 0x0a, 0x0a]]], ['aà', ''], 0],
    ['a character split between writes as the output differs', 'a\n',
        [['write', [0x62, 0xc3]], ['write', [0xa0, 0x0a]]], ['bà'], 0],
    ['a new run starts from an empty transcript', 'a\n', [['clear'], ['write', 'a\n']], ['a'], 0],
];

for (const [name, intro, steps, shown, kept] of cases)
    test(name, () => {
        const element = page(intro);
        const first = [...element.children];
        const transcript = new Transcript(element, { scrollTop: 0, scrollHeight: 0 });
        const encoder = new TextEncoder();
        for (const [what, value] of steps) {
            if (what === 'write') transcript.write(typeof value === 'string' ? encoder.encode(value) : new Uint8Array(value));
            else if (what === 'echo') transcript.echo(value);
            else if (what === 'endIntro') transcript.endIntro();
            else if (what === 'clear') transcript.clear();
        }
        assert.deepEqual(element.children.map(line => line.textContent), shown);
        assert.deepEqual(first.map((line, i) => element.children[i] === line), first.map((_, i) => i < kept),
            'which of the page\'s lines are still its own elements');
    });
