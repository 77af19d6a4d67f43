// The page around chisei: the program's console made of the browser's own
// elements. A transcript (role="log") holds what a terminal would show, the
// program's lines and the echo of each line typed, one element a line; the
// next line is typed in a real text field below it, with all that the
// browser and a phone's keyboard do for one. A key wait takes one key press
// or one tap, and the page says meanwhile that it waits for one. Once a run
// has ended the page says how, and offers a new quiz. window.chisei gives the
// transcript and a promise of the current run's exit status.
import createChisei from 'chisei';
import { keyLength, LineDiscipline } from './line_discipline.mjs';
import { hangingIndent } from './transcript.mjs';

const $ = id => document.getElementById(id);
const app = $('app');
const scroller = $('console');
const transcript = $('transcript');
const field = $('answer');
const hint = $('hint');
const end = $('end');
const endText = $('end-text');
const again = $('again');

const endings = {
    0: 'Il quiz è finito.',
    1: 'Il quiz si è fermato: le risposte sono finite prima dell’ottava domanda.',
    130: 'Quiz interrotto (Ctrl-C).',
};

// ---- The transcript -------------------------------------------------------

let open = null; // the last line, until its line end comes

// What the transcript shows when the page opens: what the program writes
// first, put there when the page was built, the last line marked if it is
// still open.
function shownAlready() {
    const lines = [...transcript.children];
    open = lines.at(-1)?.hasAttribute('data-open') ? lines.at(-1) : null;
    const text = lines.map(line => `${line.textContent}\n`).join('');
    return open ? text.slice(0, -1) : text;
}

function layOut(line) {
    const hang = hangingIndent(line.textContent);
    if (hang) line.style.setProperty('--hang', `${hang}ch`);
}

// Adds text to the transcript, each line as one element added whole, so
// that a screen reader hears it once; with fresh, in place of all it shows.
function show(text, fresh) {
    if (fresh) {
        transcript.replaceChildren();
        open = null;
    }
    const parts = text.split('\n');
    parts.forEach((part, i) => {
        const ended = i < parts.length - 1;
        if (open) {
            if (part !== '') open.append(part);
        } else if (part !== '' || ended) {
            open = document.createElement('div');
            open.textContent = part;
            transcript.append(open);
        }
        if (ended && open) {
            layOut(open);
            open = null;
        }
    });
    keepInView();
}

// The newest line and the field in view, as a terminal keeps them, once a
// frame.
let scrolling = false;
function keepInView() {
    if (scrolling) return;
    scrolling = true;
    requestAnimationFrame(() => {
        scrolling = false;
        scroller.scrollTop = scroller.scrollHeight;
    });
}

// An on-screen keyboard shrinks only the visual viewport: the page follows
// it, so that the newest lines and the field stay above the keyboard.
const viewport = window.visualViewport;
function fit() {
    const zoomed = viewport.scale > 1.01;
    app.style.height = zoomed ? '' : `${viewport.height}px`;
    app.style.transform = zoomed ? '' : `translateY(${viewport.offsetTop}px)`;
    keepInView();
}
viewport?.addEventListener('resize', fit);
viewport?.addEventListener('scroll', fit);

// ---- The keyboard ---------------------------------------------------------
//
// While the program reads a line, the field is the line's editor, and Enter
// delivers it. Otherwise (a key wait, or before the program is ready) a key
// is a terminal's key: at a key wait it is the key, taken at once; before,
// it waits in order for what the program does next.

let tty = null; // the current run's line discipline
let waitingFor = null; // what the program waits for: 'line', 'key', or null
let dropping = null; // the field's text, restored while a key that ended a key wait still sends text
let imePending = false; // a key went down through an input method, its text not yet in the field
let enterPending = false; // Enter came before that text: the line waits for it
let composing = false;

// The codes a terminal sends for a key; null for what is not the program's
// (Tab, modifiers, function keys, the browser's own shortcuts).
const named = {
    Enter: '\r', Backspace: '\x7f', Escape: '\x1b', Insert: '\x1b[2~', Delete: '\x1b[3~',
    ArrowUp: '\x1b[A', ArrowDown: '\x1b[B', ArrowRight: '\x1b[C', ArrowLeft: '\x1b[D',
    Home: '\x1b[H', End: '\x1b[F', PageUp: '\x1b[5~', PageDown: '\x1b[6~',
};
function keyCodes(e) {
    if (e.altKey || e.metaKey) return null;
    if (e.ctrlKey) return e.key.toLowerCase() === 'd' ? '\x04' : null;
    if ([...e.key].length === 1) return e.key;
    return named[e.key] ?? null;
}

const isCtrl = (e, letter) => e.ctrlKey && !e.altKey && !e.metaKey && e.key.toLowerCase() === letter;
const viaInputMethod = e => e.keyCode === 229 || e.key === 'Unidentified' || e.key === 'Process';

function selected() {
    const selection = window.getSelection();
    return !selection.isCollapsed || field.selectionStart !== field.selectionEnd;
}

function takeKey(keys) {
    waitingFor = null;
    hint.hidden = true;
    tty.type(keys);
}

// Keys while no line is read: at a key wait the first is the key, and the
// rest of a text sent with it is dropped; before the program is ready, all
// wait in order.
function press(keys) {
    if (waitingFor === 'key') takeKey(keys.slice(0, keyLength(keys)));
    else tty.type(keys);
}

function enter() {
    enterPending = false;
    const text = field.value;
    field.value = '';
    tty.deliver(text);
}

function lineKey(e) {
    if (isCtrl(e, 'd')) {
        e.preventDefault();
        const text = field.value;
        field.value = '';
        tty.endInput(text);
    } else if (e.key === 'Enter') {
        e.preventDefault();
        if (imePending || composing || e.isComposing) enterPending = true;
        else enter();
    } else if (viaInputMethod(e)) {
        imePending = true;
    }
}

document.addEventListener('keydown', e => {
    if (!tty || tty.closed || typeof e.key !== 'string') return; // (autofill sends keys without one)
    dropping = null;
    if (isCtrl(e, 'c')) {
        if (selected()) return; // copies, as terminals in browsers do
        e.preventDefault();
        tty.interrupt();
    } else if (waitingFor === 'line') {
        lineKey(e);
    } else if (viaInputMethod(e)) {
        // Its text follows in the field: dropped after a key wait's key,
        // typed ahead before (beforeinput).
        if (waitingFor === 'key') {
            takeKey('\0');
            dropping = field.value;
        }
    } else {
        const keys = keyCodes(e);
        if (keys === null) return;
        e.preventDefault();
        press(keys);
        if (document.activeElement !== field) field.focus();
    }
});

document.addEventListener('keyup', e => {
    if (!composing) dropping = null;
    if (e.key === 'Enter' && enterPending) enter();
});

field.addEventListener('beforeinput', e => {
    if (!tty || tty.closed) return;
    const lineBreak = e.inputType === 'insertLineBreak' || e.inputType === 'insertParagraph';
    if (dropping !== null) {
        e.preventDefault();
    } else if (waitingFor === 'line') {
        if (lineBreak) {
            e.preventDefault();
            enter();
        }
    } else if (lineBreak || e.data) {
        e.preventDefault();
        press(lineBreak ? '\r' : e.data);
    }
});

field.addEventListener('input', () => {
    if (dropping !== null) {
        field.value = dropping;
        return;
    }
    imePending = false;
    if (enterPending && !composing) enter();
});

field.addEventListener('compositionstart', () => (composing = true));
field.addEventListener('compositionend', () => {
    composing = false;
    if (dropping !== null) field.value = dropping;
    else if (enterPending) enter();
});

// A paste with line breaks delivers a line at each break; what follows the
// last one stays in the field.
field.addEventListener('paste', e => {
    if (!tty || tty.closed) return;
    const text = e.clipboardData.getData('text/plain');
    if (waitingFor === 'line' && !/[\r\n]/.test(text)) return; // the field's own
    e.preventDefault();
    if (waitingFor !== 'line') {
        if (text !== '') press(text);
        return;
    }
    const [first, ...more] = text.split(/\r\n|\r|\n/);
    field.setRangeText(first, field.selectionStart, field.selectionEnd, 'end');
    for (const line of more) {
        const typed = field.value;
        field.value = line;
        tty.deliver(typed);
    }
});

// A tap or click on the console: at a key wait, the key. It gives the field
// the focus inside the tap, so that a phone raises its keyboard. A press
// that moves before it lets go selects text instead.
let pressedAt = [0, 0];
scroller.addEventListener('pointerdown', e => (pressedAt = [e.clientX, e.clientY]));
scroller.addEventListener('click', e => {
    const moved = Math.hypot(e.clientX - pressedAt[0], e.clientY - pressedAt[1]) > 10;
    if (!tty || tty.closed || moved) return;
    if (waitingFor === 'key') {
        field.blur();
        field.focus();
        takeKey(' ');
    } else if (document.activeElement !== field) {
        field.focus();
    }
});

// What the program waits for; at a key wait, a line typed ahead into the
// field gives its first character as the key.
function waitsFor(kind, rest) {
    waitingFor = kind;
    hint.hidden = kind !== 'key';
    if (rest) field.value = rest + field.value;
    if (kind === 'key' && field.value !== '') {
        const key = field.value.slice(0, keyLength(field.value));
        field.value = field.value.slice(key.length);
        takeKey(key);
    }
}

// ---- A run ----------------------------------------------------------------

// The program's WebAssembly, held in the page as the text of a data block:
// each character's low byte is one of its bytes.
const wasmBinary = () => Uint8Array.from($('program').textContent, c => c.charCodeAt(0) & 0xff);

// One run of the program, from what the transcript shows to its exit status.
async function run() {
    const current = (tty = new LineDiscipline(show, shownAlready()));
    current.onWait = waitsFor;
    const interrupted = new Promise(resolve => (current.onInterrupt = () => resolve(130)));
    const host = {
        write: bytes => (current.output(bytes), true),
        read: size => current.read(size),
        key: () => current.key(),
    };
    const program = await createChisei({ host, wasmBinary: wasmBinary() });
    try {
        return await Promise.race([program.ccall('main', 'number', [], [], { async: true }), interrupted]);
    } finally {
        current.close();
    }
}

// The run is over: the transcript stays as it is, and the field goes with
// the focus, so that neither the key that ended the run nor any after it
// presses anything.
function finish(text, offerAgain) {
    field.disabled = true;
    field.hidden = true;
    hint.hidden = true;
    endText.textContent = text;
    again.hidden = !offerAgain;
    end.hidden = false;
    keepInView();
}

function start() {
    end.hidden = true;
    field.value = '';
    field.disabled = false;
    field.hidden = false;
    if (typeof WebAssembly !== 'object') {
        finish('Per fare il quiz serve un browser che esegua WebAssembly, e questo non lo fa.', false);
        return;
    }
    const exit = run();
    window.chisei.exit = exit;
    exit.then(
        status => finish(endings[status] ?? `Il quiz è finito (stato ${status}).`, true),
        () => finish('Il quiz non è potuto partire.', true),
    );
}

window.chisei = { transcript, exit: null };
again.addEventListener('click', () => {
    transcript.replaceChildren();
    start();
    field.focus();
});
start();
field.focus();
