// What stands between the keyboard and the program, as a terminal driver
// does: the program reads whole lines (typed and edited in the page's text
// field, echoed when delivered) or takes one key, without echo. It knows
// nothing of the page (no DOM) nor of the program behind it.
//
//   const tty = new LineDiscipline(text => transcript.add(text));
//   tty.output(bytes);      // what the program writes (UTF-8)
//   await tty.read(size);   // the next delivered line (UTF-8 bytes, up to size); empty at the end
//   await tty.key();        // one key, as the code of its first character
//   tty.deliver(text);      // Enter in the field: the line, with a line feed
//   tty.endInput(text);     // Ctrl-D in the field: the end of the input, or the text as it is
//   tty.type(keys);         // keys pressed while no line is read, as a terminal sends them
//   tty.interrupt();        // Ctrl-C
//
// Keys pressed while no line is read wait in order for the next key wait or
// read, as a terminal keeps them: a key wait takes one whole key (an escape
// sequence, or one character); a read edits them into a line (Backspace
// erases, Enter delivers, Ctrl-D as in the field) and hands what is left of
// an unfinished line to the field through onWait. onWait(kind, rest) tells
// what the program waits for: 'line', 'key', or null once the run is over.
//
// The screen may show text already when the program starts (the page holds
// what the program writes first): new LineDiscipline(echo, shown). The
// program's output is then taken as shown as long as it is that text; once
// it differs, or the program waits for input before writing all of it, the
// screen is drawn again with what the program wrote: echo(text, true).

const encoder = new TextEncoder();

// The length of the key at the start of s: an escape sequence whole (CSI with
// its parameters and final byte, SS3 and its byte, or ESC and the key held
// with Alt), or one character.
export function keyLength(s) {
    if (s[0] !== '\x1b' || s.length === 1) return String.fromCodePoint(s.codePointAt(0)).length;
    if (s[1] === '[') {
        let i = 2;
        while (i < s.length && s.charCodeAt(i) >= 0x20 && s.charCodeAt(i) <= 0x3f) i++;
        return Math.min(i + 1, s.length);
    }
    if (s[1] === 'O') return Math.min(3, s.length);
    return 1 + keyLength(s.slice(1));
}

export class LineDiscipline {
    constructor(echo, shown = '') {
        this.echo = echo; // shows text in the transcript; with true, in place of all it shows
        this.shown = shown; // on the screen already, and not yet written by the program
        this.written = ''; // what the program wrote of it so far
        this.decoder = new TextDecoder();
        this.pending = ''; // keys pressed while no line was read, not yet taken
        this.line = ''; // a line being edited from those keys
        this.lines = []; // delivered and not yet read; an empty one is the end of the input
        this.ended = false; // the end of the input has been read
        this.closed = false; // Ctrl-C, or the run is over
        this.waiting = null; // the read or key wait in progress
        this.onWait = () => {};
        this.onInterrupt = () => {};
    }

    output(bytes) {
        const text = this.decoder.decode(bytes, { stream: true });
        if (this.shown === '') {
            this.echo(text);
        } else if (this.shown.startsWith(text)) {
            this.shown = this.shown.slice(text.length);
            this.written += text;
        } else if (text.startsWith(this.shown)) {
            const rest = text.slice(this.shown.length);
            this.shown = this.written = '';
            if (rest !== '') this.echo(rest);
        } else {
            this.redraw(text);
        }
    }

    // The screen shows what the program did not write: all it wrote, in place.
    redraw(text = '') {
        if (this.shown === '') return;
        const all = this.written + text;
        this.shown = this.written = '';
        this.echo(all, true);
    }

    read(size) {
        return this.wait({ size, line: true });
    }

    key() {
        return this.wait({ line: false });
    }

    deliver(text) {
        this.queue(`${text}\n`);
    }

    // Ctrl-D: on an empty line the end of the input, else the line as it is.
    endInput(text) {
        this.queue(text);
    }

    type(keys) {
        if (this.closed) return;
        this.pending += keys;
        this.serve();
    }

    interrupt() {
        if (this.closed) return;
        this.redraw();
        this.echo('^C\n');
        this.close();
        this.onInterrupt();
    }

    // No more input: keys are ignored, and a wait in progress is never kept.
    close() {
        this.redraw();
        this.closed = true;
        this.waiting = null;
        this.onWait(null);
    }

    queue(text) {
        if (this.closed) return;
        this.add(text);
        this.serve();
    }

    // A delivered line, shown as its echo.
    add(text) {
        this.echo(text);
        this.lines.push(encoder.encode(text));
    }

    wait(request) {
        this.redraw();
        return new Promise(resolve => {
            if (this.closed) return;
            this.waiting = { ...request, resolve };
            this.serve();
            if (this.waiting !== null) this.onWait(request.line ? 'line' : 'key', this.takeRest());
        });
    }

    serve() {
        const w = this.waiting;
        if (!w) return;
        const result = w.line ? this.takeLine(w.size) : this.takeKey();
        if (result === null) return; // not yet: wait for more
        this.waiting = null;
        w.resolve(result);
    }

    takeKey() {
        if (this.pending === '') return null;
        const code = this.pending.codePointAt(0);
        this.pending = this.pending.slice(keyLength(this.pending));
        return code;
    }

    // The next part of a delivered line, or null while there is none.
    takeLine(size) {
        if (this.ended) return new Uint8Array(0);
        if (this.lines.length === 0) this.edit();
        if (this.lines.length === 0) return null;
        const part = this.lines[0].subarray(0, size);
        if (part.length === 0) this.ended = true;
        if (part.length === this.lines[0].length) this.lines.shift();
        else this.lines[0] = this.lines[0].subarray(size);
        return part;
    }

    // Edits pending keys into a line, until one line is delivered.
    edit() {
        while (this.pending !== '' && this.lines.length === 0) {
            const length = keyLength(this.pending);
            const key = this.pending.slice(0, length);
            this.pending = this.pending.slice(length);
            if (key === '\r' || key === '\n') this.add(`${this.takeLineText()}\n`);
            else if (key === '\x04') this.add(this.takeLineText());
            else if (key === '\x7f' || key === '\b') this.line = [...this.line].slice(0, -1).join('');
            // Other control keys and escape sequences have no place in a line.
            else if (key === '\t' || key.charCodeAt(0) >= 0x20) this.line += key;
        }
    }

    takeLineText() {
        const text = this.line;
        this.line = '';
        return text;
    }

    // What was typed of a line before the field took over its editing.
    takeRest() {
        return this.waiting?.line ? this.takeLineText() : '';
    }
}
