// The page around chisei: an xterm.js terminal that fills the window, the
// line discipline between its keyboard and the program, and, once a run has
// ended, a word on how it ended and a new quiz. window.chisei gives the
// terminal and a promise of the current run's exit status.
import { LineDiscipline } from './line_discipline.mjs';
import { Terminal } from './xterm.mjs';

const terminal = new Terminal({ screenReaderMode: true, fontSize: 16, cursorBlink: true });
const box = document.getElementById('terminal');
const end = document.getElementById('end');
const endText = document.getElementById('end-text');
const again = document.getElementById('again');
terminal.open(box);
window.chisei = { terminal, exit: null };

// As many columns and rows as the terminal's box holds, in the terminal's font.
function fit() {
    const probe = document.createElement('span');
    probe.style.cssText = 'position:absolute;visibility:hidden;white-space:pre';
    probe.style.fontFamily = terminal.options.fontFamily;
    probe.style.fontSize = `${terminal.options.fontSize}px`;
    probe.textContent = 'W'.repeat(100);
    document.body.appendChild(probe);
    const cell = probe.getBoundingClientRect();
    probe.remove();
    const scrollbar = 16;
    const cols = Math.floor((box.clientWidth - scrollbar) / (cell.width / 100));
    const rows = Math.floor(box.clientHeight / Math.ceil(cell.height));
    terminal.resize(Math.max(cols, 20), Math.max(rows, 5));
}
fit();
new ResizeObserver(fit).observe(box);

const endings = {
    0: 'Il quiz è finito.',
    1: 'Il quiz si è fermato: le risposte sono finite prima dell’ottava domanda.',
    130: 'Quiz interrotto (Ctrl-C).',
};

// One run of the program, from a fresh terminal to its exit status.
async function run() {
    const tty = new LineDiscipline(text => terminal.write(text));
    const keys = terminal.onData(data => tty.input(data));
    const interrupted = new Promise(resolve => (tty.onInterrupt = () => resolve(130)));
    const host = {
        write: bytes => (tty.output(bytes), true),
        read: size => tty.read(size),
        key: () => tty.key(),
    };
    const program = await globalThis.createChisei({ host });
    const exited = program.ccall('main', 'number', [], [], { async: true });
    try {
        return await Promise.race([exited, interrupted]);
    } finally {
        tty.close();
        keys.dispose();
    }
}

function start() {
    end.hidden = true;
    terminal.reset();
    terminal.focus();
    const exit = run();
    window.chisei.exit = exit;
    exit.then(
        status => (endText.textContent = endings[status] ?? `Il quiz è finito (stato ${status}).`),
        () => (endText.textContent = 'Il quiz si è fermato per un errore.'),
    ).then(() => {
        end.hidden = false;
        again.focus();
    });
}

again.addEventListener('click', start);
start();
