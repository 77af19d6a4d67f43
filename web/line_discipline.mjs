// What stands between the keyboard and the program, as a terminal driver
// does, for input alone: the program reads whole lines (typed and edited in
// the page's text field, echoed when delivered) or takes one key, without
// echo. It knows nothing of the screen but where a line's echo goes, nor of
// the program behind it.
//
//   const tty = new LineDiscipline(text => transcript.echo(text));
//   await tty.read(size);   // the next delivered line (UTF-8 bytes, up to size); empty at the end
//   await tty.key();        // one key, as the code of its first character
//   tty.waitingFor;         // what the program waits for: 'line', 'key', or null
//   tty.deliver(text);      // Enter in the field: the line, with a line feed
//   tty.endInput(text);     // Ctrl-D in the field: the end of the input, or the text as it is
//   tty.type(keys);         // keys pressed while no line is read, as a terminal sends them
//   tty.takeRest();         // at a line read, what was typed of the line before it
//   tty.interrupt();        // Ctrl-C: tty.interrupted resolves with 130
//
// Keys pressed while no line is read wait in order for the next key wait or
// read, as a terminal keeps them: a key wait takes one whole key (an escape
// sequence, or one character); a read edits them into a line (Backspace
// erases, Enter delivers, Ctrl-D as in the field), and what is left of an
// unfinished line is for the field to go on with (takeRest).

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
    #echo;
    #pending = ''; // keys pressed while no line was read, not yet taken
    #line = ''; // a line being edited from those keys
    #lines = []; // delivered and not yet read; an empty one is the end of the input
    #ended = false; // the end of the input has been read
    #closed = false; // Ctrl-C, or the run is over
    #waiting = null; // the read or key wait in progress
    #interrupt;

    constructor(echo) {
        this.#echo = echo;
        this.interrupted = new Promise(resolve => (this.#interrupt = () => resolve(130)));
    }

    get closed() {
        return this.#closed;
    }

    get waitingFor() {
        if (this.#waiting === null) return null;
        return this.#waiting.line ? 'line' : 'key';
    }

    read(size) {
        return this.#wait({ size, line: true });
    }

    key() {
        return this.#wait({ line: false });
    }

    deliver(text) {
        this.#queue(`${text}\n`);
    }

    // Ctrl-D: on an empty line the end of the input, else the line as it is.
    endInput(text) {
        this.#queue(text);
    }

    type(keys) {
        if (this.#closed) return;
        this.#pending += keys;
        this.#serve();
    }

    takeRest() {
        return this.waitingFor === 'line' ? this.#takeLineText() : '';
    }

    interrupt() {
        if (this.#closed) return;
        this.#echo('^C\n');
        this.close();
        this.#interrupt();
    }

    // No more input: keys are ignored, and a wait in progress is never kept.
    close() {
        this.#closed = true;
        this.#waiting = null;
    }

    #queue(text) {
        if (this.#closed) return;
        this.#add(text);
        this.#serve();
    }

    // A delivered line, shown as its echo.
    #add(text) {
        this.#echo(text);
        this.#lines.push(encoder.encode(text));
    }

    #wait(request) {
        return new Promise(resolve => {
            if (this.#closed) return;
            this.#waiting = { ...request, resolve };
            this.#serve();
        });
    }

    #serve() {
        const w = this.#waiting;
        if (!w) return;
        const result = w.line ? this.#takeLine(w.size) : this.#takeKey();
        if (result === null) return; // not yet: wait for more
        this.#waiting = null;
        w.resolve(result);
    }

    #takeKey() {
        if (this.#pending === '') return null;
        const code = this.#pending.codePointAt(0);
        this.#pending = this.#pending.slice(keyLength(this.#pending));
        return code;
    }

    // The next part of a delivered line, or null while there is none.
    #takeLine(size) {
        if (this.#ended) return new Uint8Array(0);
        if (this.#lines.length === 0) this.#edit();
        if (this.#lines.length === 0) return null;
        const part = this.#lines[0].subarray(0, size);
        if (part.length === 0) this.#ended = true;
        if (part.length === this.#lines[0].length) this.#lines.shift();
        else this.#lines[0] = this.#lines[0].subarray(size);
        return part;
    }

    // Edits pending keys into a line, until one line is delivered.
    #edit() {
        while (this.#pending !== '' && this.#lines.length === 0) {
            const length = keyLength(this.#pending);
            const key = this.#pending.slice(0, length);
            this.#pending = this.#pending.slice(length);
            if (key === '\r' || key === '\n') this.#add(`${this.#takeLineText()}\n`);
            else if (key === '\x04') this.#add(this.#takeLineText());
            else if (key === '\x7f' || key === '\b') this.#line = [...this.#line].slice(0, -1).join('');
            // Other control keys and escape sequences have no place in a line.
            else if (key === '\t' || key.charCodeAt(0) >= 0x20) this.#line += key;
        }
    }

    #takeLineText() {
        const text = this.#line;
        this.#line = '';
        return text;
    }
}
