// What the screen shows: the transcript (role="log"), as a console shows it.
// It holds what the program writes and the echo of what is typed, keeps the
// newest line in view, and follows a phone's on-screen keyboard.
//
// What is shown between two of the program's waits (an echo, and what the
// program then writes) is added at once, as one block of line elements:
// a screen reader hears it as one message, its lines in order. Output that
// goes on for longer than a frame is drawn once a frame. Like a console's
// screen buffer, the transcript keeps the newest `scrollback` lines: older
// ones leave from the top, and lines that a frame would draw and drop again
// are never drawn. A line once drawn is never drawn again.
//
// The page as built holds what the program writes first (its intro). The
// program's output is taken as shown while it is that text; once it differs,
// or the program waits or ends before writing all of it, or something else
// is shown, the transcript is drawn again with what the program wrote.
//
// The page's own lines are no news: the transcript is silent (aria-live
// off) until it draws lines of its own, or a browser that is still loading
// the page announces them. Its element holds one element, unnamed, that the blocks go
// into (a screen reader says the name of what a message is added to, and a
// message is the program's lines alone); a block is a group of lines; a line
// is an element of its own (for its hanging indent), without a role of its
// own (so that a block is one addition), and ends with a line break (so that
// a screen reader hears its lines apart).

// How the transcript lays out a line, in the page and in the page as built:
// a line that opens with a short label and a space (a) , 1. , - ) goes on,
// once wrapped, under its text rather than under its label. The label's
// width in characters, or 0.
export function hangingIndent(line) {
    const label = /^(?:\S{1,3}[).:]|[-*•]) /.exec(line);
    return label ? label[0].length : 0;
}

// The lines a console keeps: the Windows console's screen buffer.
export const scrollback = 9001;

export class Transcript {
    #element;
    #lines; // what the blocks go into
    #scroller;
    #count = 0; // the lines it holds
    #open = null; // the last line, until its line end comes
    #pending = ''; // what is to be shown and is not drawn yet
    #frame = 0; // the frame that draws it, once asked for
    #since = 0; // when it was asked for
    #intro; // what the page shows and the program has not written yet
    #written = ''; // what the program wrote of it so far
    #decoder = new TextDecoder();
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

    // What the program writes, as UTF-8 bytes.
    write(bytes) {
        const text = this.#decoder.decode(bytes, { stream: true });
        if (this.#intro === '') {
            this.#show(text);
        } else if (this.#intro.startsWith(text)) {
            this.#intro = this.#intro.slice(text.length);
            this.#written += text;
        } else if (text.startsWith(this.#intro)) {
            const rest = text.slice(this.#intro.length);
            this.#intro = this.#written = '';
            this.#show(rest);
        } else {
            this.#redraw(text);
        }
    }

    // What the keyboard shows: the echo of a line, ^C.
    echo(text) {
        this.endIntro();
        this.#show(text);
    }

    // The program waits or has ended: of the page's intro, only what it
    // wrote stays.
    endIntro() {
        if (this.#intro !== '') this.#redraw('');
    }

    // Whether what is to be shown has waited longer than a frame to be drawn
    // (the program has written for that long without waiting): it should
    // let the page draw it before it goes on.
    get overdue() {
        return this.#frame !== 0 && performance.now() - this.#since > 1000 / 60;
    }

    // An empty transcript, for a new run.
    clear() {
        this.#empty();
        this.#decoder = new TextDecoder();
    }

    // Whether the transcript takes the focus, for a keyboard to scroll it
    // when nothing in it can.
    focusable(on) {
        if (on) this.#scroller.tabIndex = 0;
        else this.#scroller.removeAttribute('tabindex');
    }

    #redraw(text) {
        const all = this.#written + text;
        this.#empty();
        this.#show(all);
    }

    #empty() {
        this.#lines.replaceChildren();
        this.#count = 0;
        this.#open = null;
        this.#pending = this.#intro = this.#written = '';
    }

    #show(text) {
        this.#pending += text;
        if (this.#frame) return;
        this.#frame = requestAnimationFrame(() => this.draw());
        this.#since = performance.now();
    }

    // What is to be shown, drawn now as one block: only the lines that the
    // scrollback keeps, the oldest lines leaving from the top.
    draw() {
        cancelAnimationFrame(this.#frame);
        this.#frame = 0;
        const lines = this.#pending.split('\n'); // the last: what follows the last line end
        this.#pending = '';
        if (this.#open) {
            this.#open.append(lines.shift());
            if (lines.length === 0) return;
            this.#end(this.#open);
            this.#open = null;
        }
        const tail = lines.pop();
        if (tail !== '') lines.push(tail);
        if (lines.length === 0) return;
        const document = this.#lines.ownerDocument, block = document.createElement('div');
        block.setAttribute('role', 'group');
        const shown = lines.slice(-scrollback);
        shown.forEach((text, i) => {
            const line = document.createElement('div');
            line.setAttribute('role', 'none');
            line.textContent = text;
            block.append(line);
            if (i < shown.length - 1 || tail === '') this.#end(line);
            else this.#open = line; // its line end is yet to come
        });
        this.#count += block.childElementCount;
        this.#element.removeAttribute('aria-live');
        this.#lines.append(block);
        this.#trim();
        this.keepInView();
    }

    // A line whose line end has come: its hanging indent and its break.
    #end(line) {
        const hang = hangingIndent(line.textContent);
        if (hang) line.style.setProperty('--hang', `${hang}ch`);
        line.append(line.ownerDocument.createElement('br'));
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
