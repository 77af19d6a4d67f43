// A run of the program: its start, its end and a new quiz. The program
// writes into the transcript and reads through a line discipline that the
// keyboard types into; when it ends, the page says how, shows the result
// it wrote as a picture to share, and offers a new quiz.
import createChisei from 'chisei';
import { LineDiscipline } from './line_discipline.mjs';
import { hintDelay } from './keyboard.mjs';
import { Picture } from './picture.mjs';
import { exitStatus } from './program.mjs';
import { readResult } from './result.mjs';

const endings = {
    0: 'Il quiz è finito.',
    1: 'Il quiz si è fermato: le risposte sono finite prima dell’ottava domanda.',
    130: 'Quiz interrotto (Ctrl-C).',
};

export class Quiz {
    #transcript;
    #keyboard;
    #page;
    #picture;
    #words = ''; // the end's line
    #saying = 0;
    exit = null; // the current run's exit status, as a promise
    result = null; // and its result ({ counts, profiles }, or null), as a promise

    // page: the elements of the end (end, endText, again, and the result's
    // picture and share button) and the data block that holds the program
    // (program).
    constructor(transcript, keyboard, page) {
        this.#transcript = transcript;
        this.#keyboard = keyboard;
        this.#page = page;
        this.#picture = new Picture(page.picture, page.share, words => this.#say(words));
        page.again.addEventListener('click', () => {
            transcript.clear();
            this.start();
        });
    }

    start() {
        this.#page.end.hidden = true;
        this.#picture.hide();
        clearTimeout(this.#saying);
        this.#transcript.focusable(false);
        if (typeof WebAssembly !== 'object') {
            this.#finish('Per fare il quiz serve un browser che esegua WebAssembly, e questo non lo fa.', false);
            return;
        }
        this.exit = this.#run();
        // (What the transcript shows last, once the run has ended, is what
        // the program wrote last: nothing typed at its final key is shown.)
        this.result = this.exit.then(status => (status === 0 ? readResult(this.#transcript.last(16)) : null), () => null);
        this.exit.then(
            status => this.#finish(endings[status] ?? `Il quiz è finito (stato ${status}).`, true),
            () => this.#finish('Il quiz non è potuto partire.', true),
        );
        this.result.then(result => result && this.#picture.show(result));
    }

    // One run, from what the transcript shows to its exit status.
    async #run() {
        const transcript = this.#transcript, keyboard = this.#keyboard;
        const tty = new LineDiscipline(text => transcript.echo(text));
        keyboard.attach(tty);
        // What the program wrote before it first waits is all of the intro.
        // Once it waits, what it wrote is shown, as one block; a read or a
        // key served at once lets it go on, but after a frame's time of
        // output, only once the page has had the chance of a frame to draw
        // it (none while the page is hidden). (A read takes at most a few
        // hundred bytes, for the page to have its frames while the program
        // goes through a long line.)
        const waits = wait => {
            transcript.endIntro();
            const taken = wait();
            keyboard.programWaits();
            if (tty.waitingFor !== null) transcript.draw();
            else if (transcript.overdue && !document.hidden) return new Promise(resolve => setTimeout(resolve)).then(() => taken);
            return taken;
        };
        const host = {
            write: bytes => (transcript.write(bytes), true),
            read: size => waits(() => tty.read(Math.min(size, 256))),
            key: () => waits(() => tty.key()),
        };
        const program = await createChisei({ host, wasmBinary: this.#wasmBinary() });
        try {
            // (Ctrl-C while it was made ready: the program never starts.)
            return await (tty.closed ? tty.interrupted : Promise.race([exitStatus(program), tty.interrupted]));
        } finally {
            tty.close();
            transcript.endIntro();
            transcript.draw();
        }
    }

    // The run is over: the transcript stays as it is, and can take the focus
    // for the keyboard to scroll it, now that the field has gone.
    // The end's words come a moment after it is shown, for a screen reader
    // to hear them as a change of its status (a status shown with its words
    // in it is not announced), and not as part of the change that showed it
    // (see hintDelay).
    #finish(text, offerAgain) {
        this.#keyboard.detach();
        this.#transcript.focusable(true);
        this.#page.endText.textContent = '';
        this.#page.again.hidden = !offerAgain;
        this.#page.end.hidden = false;
        this.#transcript.keepInView();
        this.#words = text;
        setTimeout(() => this.#endWords(text), hintDelay);
    }

    // Words in the end's line for a moment, then its own again.
    #say(words) {
        this.#endWords(words);
        clearTimeout(this.#saying);
        this.#saying = setTimeout(() => (this.#page.endText.textContent = this.#words), 5000);
    }

    // (The line may take more rows: the newest line and the picture stay in view.)
    #endWords(words) {
        this.#page.endText.textContent = words;
        this.#transcript.keepInView();
    }

    // The program's WebAssembly, held in the page as the text of a data
    // block: each character's low byte is one of its bytes.
    #wasmBinary() {
        return Uint8Array.from(this.#page.program.textContent, c => c.charCodeAt(0) & 0xff);
    }
}
