// What the screen shows: the transcript (role="log"), one element a line,
// each added whole so that a screen reader hears it once. It holds what the
// program writes and the echo of what is typed, keeps the newest line in
// view, and follows a phone's on-screen keyboard.
//
// The page as built holds what the program writes first (its intro). The
// program's output is taken as shown while it is that text; once it differs,
// or the program waits or ends before writing all of it, or something else
// is shown, the transcript is drawn again with what the program wrote.

// How the transcript lays out a line, in the page and in the page as built:
// a line that opens with a short label and a space (a) , 1. , - ) goes on,
// once wrapped, under its text rather than under its label. The label's
// width in characters, or 0.
export function hangingIndent(line) {
    const label = /^(?:\S{1,3}[).:]|[-*•]) /.exec(line);
    return label ? label[0].length : 0;
}

export class Transcript {
    #element;
    #scroller;
    #open = null; // the last line, until its line end comes
    #intro; // what the page shows and the program has not written yet
    #written = ''; // what the program wrote of it so far
    #decoder = new TextDecoder();
    #scrolling = false;

    // element: the transcript; scroller: what scrolls it; app, if given, is
    // kept as tall as the visual viewport.
    constructor(element, scroller, app) {
        this.#element = element;
        this.#scroller = scroller;
        const lines = [...element.children];
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
        this.#element.replaceChildren();
        this.#open = null;
        this.#intro = this.#written = '';
    }

    #show(text) {
        const parts = text.split('\n');
        parts.forEach((part, i) => {
            const ended = i < parts.length - 1;
            if (this.#open) {
                if (part !== '') this.#open.append(part);
            } else if (part !== '' || ended) {
                this.#open = this.#element.ownerDocument.createElement('div');
                this.#open.textContent = part;
                this.#element.append(this.#open);
            }
            if (ended && this.#open) {
                const hang = hangingIndent(this.#open.textContent);
                if (hang) this.#open.style.setProperty('--hang', `${hang}ch`);
                this.#open = null;
            }
        });
        this.keepInView();
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
