// A terminal's line discipline, as a terminal driver keeps one between the
// keyboard and a program: the program reads whole lines, typed with echo and
// edited with Backspace, or takes one key raw, without echo. It knows nothing
// of the page (no DOM) nor of the program behind it.
//
//   const tty = new LineDiscipline(text => terminal.write(text));
//   terminal.onData(data => tty.input(data));   // what the keyboard sends
//   tty.output(bytes);                          // what the program writes (UTF-8)
//   await tty.read(size);  // the next line (UTF-8 bytes, up to size); empty at the end
//   await tty.key();       // one key, as the code of its first character
//
// Keys typed while the program does neither wait in order for the next read
// or key, as a terminal keeps them. Enter delivers the line with a line feed;
// Ctrl-D on an empty line ends the input (every later read is empty), on a
// non-empty one delivers it as it is; Ctrl-C ends the run: onInterrupt is
// called, and nothing more is read.
//
// What the screen is to show (echo and output) is handed over in one piece
// when the program waits for the keyboard, or when keys typed into a line
// have been echoed: a terminal shows the echo of Enter and the program's
// answer to it in one frame.

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
    constructor(write) {
        this.write = write; // writes text to the screen
        this.screen = ''; // text for the screen, not yet written
        this.decoder = new TextDecoder();
        this.pending = ''; // typed, not yet taken by a read or a key wait
        this.line = []; // the line being edited, one character an entry
        this.unread = new Uint8Array(0); // a delivered line, past what a read took
        this.ended = false; // Ctrl-D on an empty line
        this.closed = false; // Ctrl-C, or the run is over
        this.waiting = null; // the read or key wait in progress
        this.onInterrupt = () => {};
    }

    input(data) {
        if (this.closed) return;
        if (data.includes('\x03')) {
            this.show('^C\r\n');
            this.close();
            this.onInterrupt();
            return;
        }
        this.pending += data;
        this.serve();
        if (this.waiting) this.flush(); // the line is still being typed
    }

    output(bytes) {
        this.show(this.decoder.decode(bytes, { stream: true }).replace(/\n/g, '\r\n'));
    }

    read(size) {
        return this.wait({ size, line: true });
    }

    key() {
        return this.wait({ line: false });
    }

    // No more input: keys are ignored, and a wait in progress is never kept.
    close() {
        this.closed = true;
        this.waiting = null;
        this.flush();
    }

    show(text) {
        this.screen += text;
    }

    flush() {
        if (this.screen === '') return;
        this.write(this.screen);
        this.screen = '';
    }

    wait(request) {
        return new Promise(resolve => {
            if (this.closed) return;
            this.waiting = { ...request, resolve };
            this.serve();
            if (this.waiting) this.flush(); // the program waits for the keyboard
        });
    }

    serve() {
        const w = this.waiting;
        if (!w) return;
        const result = w.line ? this.takeLine(w.size) : this.takeKey();
        if (result === null) return; // not yet: wait for more keys
        this.waiting = null;
        w.resolve(result);
    }

    takeKey() {
        if (this.pending === '') return null;
        const code = this.pending.codePointAt(0);
        this.pending = this.pending.slice(keyLength(this.pending));
        return code;
    }

    // The next part of a delivered line, or null while the line is typed.
    takeLine(size) {
        if (this.unread.length === 0 && !this.ended && !this.edit()) return null;
        const part = this.unread.subarray(0, size);
        this.unread = this.unread.subarray(part.length);
        return part;
    }

    // Takes pending keys into the line until it is delivered (true).
    edit() {
        while (this.pending !== '') {
            const length = keyLength(this.pending);
            const key = this.pending.slice(0, length);
            this.pending = this.pending.slice(length);
            if (key === '\r' || key === '\n') {
                this.show('\r\n');
                return this.deliver('\n');
            }
            if (key === '\x04') {
                if (this.line.length === 0) this.ended = true;
                return this.deliver('');
            }
            if (key === '\x7f' || key === '\b') {
                if (this.line.length > 0) {
                    this.line.pop();
                    this.show('\b \b');
                }
            } else if (key === '\t' || key.charCodeAt(0) >= 0x20) {
                // Other control keys and escape sequences have no place in a line.
                this.line.push(key);
                this.show(key);
            }
        }
        return false;
    }

    deliver(end) {
        this.unread = encoder.encode(this.line.join('') + end);
        this.line = [];
        return true;
    }
}
