// What the screen shows: the transcript (role="log"), as a console shows it.
// It holds what the program writes and the echo of what is typed, keeps the
// newest line in view, and follows a phone's on-screen keyboard.
//
// What is shown between two of the program's waits (an echo, and what the
// program then writes) is added at once, as one block of line elements: a
// screen reader hears it as one message, its lines in order. Output that
// goes on for longer than a frame is drawn once a frame. Like a console's
// screen buffer, the transcript keeps the newest `scrollback` lines: older
// ones leave from the top, and lines that one draw would add and drop again
// are never drawn. A line once drawn is never drawn again.
//
// The page as built holds what the program writes first (its intro). The
// program's output is taken as shown while it is that text; once it differs,
// or the program waits or ends before writing all of it, or something else
// is shown, the transcript is drawn again with what the program wrote.
//
// For a screen reader: the page's own lines are no news, so the transcript
// is silent (aria-live off) until it draws lines of its own (a browser
// still loading the page would announce them). Its element holds one
// element, unnamed, that the blocks go into (a screen reader says the name
// of what a message is added to, and a message is the program's lines
// alone); a block is a group of lines; a line is an element of its own
// (for its hanging indent) without a role of its own (so that a block is
// one addition, whose lines come in order), and ends with a line break (so
// that its lines are heard apart).

// How the transcript lays out a line, in the page and in the page as built:
// a line that opens with a short label and a space (a) , 1. , - ) goes on,
// once wrapped, under its text rather than under its label. The label's
// width in characters, or 0.
export function hangingIndent(line) {
    const label = /^(?:\S{1,3}[).:]|[-*•]) /.exec(line);
    return label ? label[0].length : 0;
}

// Lines as the transcript holds them, in HTML: an element a line, without a
// role of its own, ending with a line break; but the last one, if open
// (its line end is yet to come), which is marked so.
export function asLines(lines, open) {
    const escape = text => text.replace(/&/g, '&amp;').replace(/</g, '&lt;');
    return lines.map((line, i) => {
        const ended = !open || i < lines.length - 1, hang = ended && hangingIndent(line);
        return `<div role="none"${ended ? '' : ' data-open'}${hang ? ` data-hang="${hang}"` : ''}>` +
            `${escape(line)}${ended ? '<br>' : ''}</div>`;
    }).join('');
}

// The lines a console keeps: the Windows console's screen buffer.
export const scrollback = 9001;
// The most lines in one block: more than the program ever writes between
// two waits, few enough for the page to lay out only the blocks in view
// when a flood of output fills the scrollback (a full block is laid out
// only in view).
export const blockLines = 100;

export class Transcript {
    #element;
    #lines; // what the blocks go into
    #scroller;
    #count = 0; // the lines it holds
    #open = null; // the last line, until its line end comes
    #pending = new Uint8Array(1 << 16); // what is to be shown and is not drawn yet, as UTF-8
    #length = 0; // of it
    #frame = 0; // the frame that draws it, once asked for
    #since = 0; // when it was asked for
    #intro; // what the page shows and the program has not written yet
    #written = ''; // what the program wrote of it so far
    #decoder = new TextDecoder();
    #encoder = new TextEncoder();
    #scrolling = false;

    // element: the transcript; scroller: what scrolls it; app, if given, is
    // kept as tall as the visual viewport.
    constructor(element, scroller, app) {
        this.#element = element;
        this.#lines = element.firstElementChild;
        this.#scroller = scroller;
        const lines = [...this.#lines.querySelectorAll('[role=none]')];
        this.#count = lines.length;
        if (lines.at(-1)?.hasAttribute('data-open')) this.#open = lines.at(-1);
        this.#intro = lines.map(line => `${line.textContent}\n`).join('');
        if (this.#open) this.#intro = this.#intro.slice(0, -1);
        if (app) this.#followViewport(app);
    }

    // What the program writes, as UTF-8 bytes (only until it returns).
    write(bytes) {
        if (this.#length + bytes.length > this.#pending.length) {
            const more = new Uint8Array(2 * (this.#length + bytes.length));
            more.set(this.#pending.subarray(0, this.#length));
            this.#pending = more;
        }
        this.#pending.set(bytes, this.#length);
        this.#length += bytes.length;
        if (this.#frame) return;
        this.#frame = requestAnimationFrame(() => this.draw());
        this.#since = performance.now();
    }

    // What the keyboard shows: the echo of a line, ^C.
    echo(text) {
        this.endIntro();
        this.write(this.#encoder.encode(text));
    }

    // The program waits or has ended: of the page's intro, only what it
    // wrote stays.
    endIntro() {
        if (this.#intro === '') return;
        this.draw();
        if (this.#intro === '') return;
        const written = this.#written;
        this.#empty();
        this.#show(written);
    }

    // Whether what is to be shown has waited longer than a frame to be drawn
    // (the program has written for that long without waiting): it should
    // let the page draw it before it goes on.
    get overdue() {
        return this.#frame !== 0 && performance.now() - this.#since > 1000 / 60;
    }

    // The text of the last n lines drawn.
    last(n) {
        return [...this.#lines.querySelectorAll('[role=none]')].slice(-n).map(line => `${line.textContent}\n`).join('');
    }

    // An empty transcript, for a new run.
    clear() {
        this.#empty();
        this.#length = 0;
        this.#decoder = new TextDecoder();
    }

    // Whether the transcript takes the focus, for a keyboard to scroll it
    // when nothing in it can.
    focusable(on) {
        if (on) this.#scroller.tabIndex = 0;
        else this.#scroller.removeAttribute('tabindex');
    }

    // What is to be shown, drawn now.
    draw() {
        cancelAnimationFrame(this.#frame);
        this.#frame = 0;
        const text = this.#decoder.decode(this.#pending.subarray(0, this.#length), { stream: true });
        this.#length = 0;
        this.#show(this.#pastIntro(text));
    }

    // Of what the program writes, what the page's intro does not show
    // already; once it differs, the intro goes, and all it wrote is shown.
    #pastIntro(text) {
        const intro = this.#intro;
        if (intro.startsWith(text)) {
            this.#intro = intro.slice(text.length);
            this.#written += text;
            return '';
        }
        if (text.startsWith(intro)) {
            this.#intro = this.#written = '';
            return text.slice(intro.length);
        }
        const written = this.#written;
        this.#empty();
        return written + text;
    }

    #empty() {
        this.#lines.replaceChildren();
        this.#count = 0;
        this.#open = null;
        this.#intro = this.#written = '';
    }

    // Text as one block of lines (or more, of blockLines each): only the
    // lines that the scrollback keeps, the oldest lines leaving from the top.
    #show(text) {
        const lines = text.split('\n'); // the last: what follows the last line end
        if (this.#open) {
            const open = this.#open, hang = hangingIndent(open.textContent + lines[0]);
            open.append(lines.shift());
            if (lines.length === 0) return;
            if (hang) open.setAttribute('data-hang', hang);
            open.append(open.ownerDocument.createElement('br'));
            open.removeAttribute('data-open');
            this.#open = null;
        }
        const tail = lines.pop();
        if (tail !== '') lines.push(tail);
        if (lines.length === 0) return;
        const shown = lines.slice(-scrollback);
        this.#element.removeAttribute('aria-live');
        for (let i = 0; i < shown.length; i += blockLines) {
            const block = this.#lines.ownerDocument.createElement('div');
            block.setAttribute('role', 'group');
            const part = shown.slice(i, i + blockLines);
            if (part.length === blockLines) block.className = 'full';
            block.innerHTML = asLines(part, tail !== '' && i + blockLines >= shown.length);
            this.#lines.append(block);
        }
        if (tail !== '') this.#open = this.#lines.lastElementChild.lastElementChild;
        this.#count += shown.length;
        this.#trim();
        this.keepInView();
    }

    // The oldest lines over the scrollback, gone from the top.
    #trim() {
        for (let over = this.#count - scrollback, block; over > 0; over -= block.childElementCount) {
            block = this.#lines.firstElementChild;
            if (block.childElementCount <= over) {
                this.#count -= block.childElementCount;
                block.remove();
                continue;
            }
            for (let i = 0; i < over; i++) block.firstElementChild.remove();
            this.#count -= over;
            break;
        }
    }

    // The newest line and the field in view, as a terminal keeps them, once
    // a frame.
    keepInView() {
        if (this.#scrolling) return;
        this.#scrolling = true;
        requestAnimationFrame(() => {
            this.#scrolling = false;
            this.#scroller.scrollTop = this.#scroller.scrollHeight;
        });
    }

    // An on-screen keyboard shrinks only the visual viewport: the page
    // follows it, so that the newest lines and the field stay above the
    // keyboard.
    #followViewport(app) {
        const viewport = window.visualViewport;
        const fit = () => {
            const zoomed = viewport.scale > 1.01;
            app.style.height = zoomed ? '' : `${viewport.height}px`;
            app.style.transform = zoomed ? '' : `translateY(${viewport.offsetTop}px)`;
            this.keepInView();
        };
        viewport?.addEventListener('resize', fit);
        viewport?.addEventListener('scroll', fit);
    }
}
