// The page's transcript in node: what it shows of the program's output and
// of the echo, when the page holds the program's first lines (its intro)
// already, which of the page's own elements stay, how what is shown at once
// is drawn (one block), and its scrollback.
// Usage: node --test transcript.test.mjs
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { asLines, blockLines, scrollback, Transcript } from '../../web/transcript.mjs';

// As much of the DOM as the transcript uses: elements holding text and
// elements, counted as they are made.
let made = 0;
class Element {
    nodes = [];
    parent = null;
    attributes = new Map();
    constructor(tag) {
        this.tagName = tag.toUpperCase();
        made++;
    }
    get ownerDocument() {
        return { createElement: tag => new Element(tag) };
    }
    get children() {
        return this.nodes.filter(node => typeof node !== 'string');
    }
    get firstElementChild() {
        return this.children[0] ?? null;
    }
    get childElementCount() {
        return this.children.length;
    }
    get textContent() {
        return this.nodes.map(node => (typeof node === 'string' ? node : node.textContent)).join('');
    }
    set textContent(text) {
        this.nodes = text === '' ? [] : [text];
    }
    append(...nodes) {
        for (const node of nodes) {
            if (typeof node !== 'string') node.remove(), (node.parent = this);
            this.nodes.push(node);
        }
    }
    remove() {
        if (this.parent) this.parent.nodes = this.parent.nodes.filter(node => node !== this);
        this.parent = null;
    }
    replaceChildren() {
        this.nodes = [];
    }
    get lastElementChild() {
        return this.children.at(-1) ?? null;
    }
    // The lines that asLines writes.
    set innerHTML(html) {
        this.nodes = [];
        for (const [, open, text, br] of html.matchAll(/<div role="none"( data-open)?(?: data-hang="\d")?>([^<]*)(<br>)?<\/div>/g)) {
            const line = new Element('div');
            line.setAttribute('role', 'none');
            if (open) line.setAttribute('data-open', '');
            line.textContent = text.replace(/&lt;/g, '<').replace(/&amp;/g, '&');
            if (br) line.append(new Element('br'));
            this.append(line);
        }
    }
    setAttribute(name, value) {
        this.attributes.set(name, value);
    }
    hasAttribute(name) {
        return this.attributes.has(name);
    }
    removeAttribute(name) {
        this.attributes.delete(name);
    }
    querySelectorAll() { // [role=none]: the lines
        return this.children.flatMap(child =>
            child.attributes.get('role') === 'none' ? [child] : child.querySelectorAll());
    }
}

// The transcript's element as the page holds it: a block of the intro's
// lines, as the page as built holds them.
function page(intro) {
    const transcript = new Element('div'), blocks = new Element('div');
    transcript.append(blocks);
    const lines = intro.split('\n');
    const open = lines.at(-1) !== '';
    if (!open) lines.pop();
    if (lines.length > 0) {
        const block = new Element('div');
        block.innerHTML = asLines(lines, open);
        blocks.append(block);
    }
    return transcript;
}
globalThis.requestAnimationFrame = () => 1;
globalThis.cancelAnimationFrame = () => {};

const numbered = (from, to) => Array.from({ length: to - from }, (_, i) => `${from + i}`);
const text = lines => lines.map(line => `${line}\n`).join('');

// Each case: the page's intro, the steps (['write', text or bytes] from the
// program, ['echo', text] of what is typed, ['endIntro'] when the program
// waits or ends, ['draw'] at a frame or a wait, ['clear'] for a new run),
// then what the transcript holds at the end (after a last draw): its lines,
// how many of the page's own first lines are still the same elements, and
// (where given) its blocks and the elements made for it.
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
    ['a line left open at a draw goes on in the same element', '',
        [['write', 'a\nb'], ['draw'], ['echo', 'c\n'], ['draw'], ['write', 'd\n']], ['a', 'bc', 'd'], 0,
        { blocks: 2, made: 4 + 1 + 3 }],
    ['output that differs: the transcript shows what the program wrote', 'a\nb\n',
        [['write', 'a\n'], ['write', 'x\n'], ['write', 'b\n']], ['a', 'x', 'b'], 0],
    ['a wait before all of the intro was written: what the program wrote', 'a\nb\n',
        [['write', 'a\n'], ['endIntro'], ['write', 'c\n']], ['a', 'c'], 0],
    ['a wait before all of the intro was written: the rest goes at once', 'a\nb\n',
        [['write', 'a\n'], ['endIntro']], ['a'], 0],
    ['an echo before all of the intro was written (Ctrl-C)', 'a\n', [['echo', '^C\n']], ['^C'], 0],
    ['a character split between writes, shown whole', '',
        [['write', [0x61, 0xc3]], ['write', [0xa0, 0x0a, 0x0a]]], ['aà', ''], 0],
    ['a character split between writes as the output differs', 'a\n',
        [['write', [0x62, 0xc3]], ['write', [0xa0, 0x0a]]], ['bà'], 0],
    ['a new run starts from an empty transcript', 'a\n', [['clear'], ['write', 'a\n']], ['a'], 0],
    // The echo and what the program writes until it waits: one block.
    ['what is shown between two draws is one block', 'a\n',
        [['write', 'a\n'], ['echo', 'x\n'], ['write', 'b\nc\n'], ['draw'], ['echo', 'y\n'], ['write', 'd\n']],
        ['a', 'x', 'b', 'c', 'y', 'd'], 1, { blocks: 3 }],
    ['what one draw would add and the scrollback drop again is never drawn', '',
        [['write', text(numbered(0, scrollback + 5))]], numbered(5, scrollback + 5), 0,
        { blocks: Math.ceil(scrollback / blockLines), made: Math.ceil(scrollback / blockLines) + 2 * scrollback }],
    ['the oldest lines leave from the top, whole blocks and part of one', 'i\n',
        [['write', 'i\n'], ['write', text(numbered(0, scrollback - 3))], ['draw'], ['write', text(['x', 'y'])],
            ['draw'], ['write', text(['z', 'w'])]],
        [...numbered(1, scrollback - 3), 'x', 'y', 'z', 'w'], 0, { blocks: Math.ceil((scrollback - 3) / blockLines) + 2 }],
];

for (const [name, intro, steps, shown, kept, drawn = {}] of cases)
    test(name, () => {
        const element = page(intro);
        const first = element.querySelectorAll();
        made = 0;
        const transcript = new Transcript(element, { scrollTop: 0, scrollHeight: 0 });
        const encoder = new TextEncoder();
        for (const [what, value] of steps) {
            if (what === 'write') transcript.write(typeof value === 'string' ? encoder.encode(value) : new Uint8Array(value));
            else if (what === 'echo') transcript.echo(value);
            else if (what === 'endIntro') transcript.endIntro();
            else if (what === 'draw') transcript.draw();
            else if (what === 'clear') transcript.clear();
        }
        transcript.draw();
        const lines = element.querySelectorAll();
        assert.deepEqual(lines.map(line => line.textContent), shown);
        assert.deepEqual(first.map(line => lines.includes(line)), first.map((_, i) => i < kept),
            'which of the page\'s lines are still its own elements');
        if (drawn.blocks !== undefined) assert.equal(element.firstElementChild.childElementCount, drawn.blocks, 'blocks');
        if (drawn.made !== undefined) assert.equal(made, drawn.made, 'elements made');
    });
