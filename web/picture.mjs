// The result as a picture, to keep and to share: the five profiles, each
// with its name and its count of the eight answers as a bar, those with the
// most marked, with their verdicts. On the page it is one image for a
// screen reader, whose name says it all in words; a press of the share
// button draws it as a PNG and hands it to the system's share sheet, where
// the browser can share files (phones), or else saves it and copies a text
// naming the result.
import { profiles } from './result.mjs';

export const fileName = 'chisei-risultato.png';
const width = 1080; // of the PNG, in pixels
const colors = { back: '#111', text: '#e8e8e8', track: '#2b3036', bar: '#6b7580', top: '#8cf' };

// What a result says, in words.
export function describe({ counts, profiles: top }) {
    const rows = profiles.map((p, i) => ({ ...p, count: counts[i], top: top.includes(p.letter) }));
    const best = rows.filter(p => p.top);
    return {
        rows,
        name: `Risultato: ${rows.map(p => `${p.name} ${p.count}`).join(', ')}; ` +
            `sei ${best.map(p => p.one).join(', ')}`,
        text: `Ho fatto il quiz «Chi sei?»: ${best.map(p => p.verdict).join(' ')}`,
    };
}

export class Picture {
    #element;
    #button;
    #say; // says something in the end's line for a moment
    #shown = null;

    constructor(element, button, say) {
        this.#element = element;
        this.#button = button;
        this.#say = say;
        button.addEventListener('click', () => this.#share());
    }

    show(result) {
        const shown = (this.#shown = describe(result));
        this.#element.setAttribute('aria-label', shown.name);
        this.#element.replaceChildren(...shown.rows.map(row));
        this.#element.hidden = this.#button.hidden = false;
    }

    hide() {
        this.#shown = null;
        this.#element.hidden = this.#button.hidden = true;
    }

    // (Drawn and shared within the press: a phone shares only then.)
    #share() {
        const { text } = this.#shown;
        const file = new File([png(this.#shown)], fileName, { type: 'image/png' });
        const data = { files: [file], text };
        if (navigator.canShare?.(data)) {
            navigator.share(data).catch(error => error.name === 'AbortError' || this.#save(file, text));
        } else {
            this.#save(file, text);
        }
    }

    #save(file, text) {
        const link = Object.assign(document.createElement('a'), { href: URL.createObjectURL(file), download: fileName });
        document.body.append(link);
        link.click();
        link.remove();
        setTimeout(() => URL.revokeObjectURL(link.href), 60000);
        const saved = `Immagine salvata: ${fileName}`;
        const copied = navigator.clipboard?.writeText(text) ?? Promise.reject();
        copied.then(() => this.#say(`${saved}; testo copiato negli appunti.`), () => this.#say(`${saved}.`));
    }
}

// One profile on the page: its name, its bar, its count, and its verdict
// if it has the most.
function row(p) {
    const part = (tag, className, text = '') => Object.assign(document.createElement(tag), { className, textContent: text });
    const line = part('div', 'profile'), bar = part('span', 'bar'), fill = part('span', 'fill');
    fill.style.width = `${(p.count / 8) * 100}%`;
    bar.append(fill);
    line.append(part('span', 'name', p.name), bar, part('span', 'count', String(p.count)));
    if (p.top) {
        line.dataset.top = '';
        line.append(part('span', 'verdict', p.verdict));
    }
    return line;
}

// The picture drawn for sharing, width pixels wide: the PNG's bytes.
function png({ rows }) {
    const pad = 72, rowHeight = 132, verdictHeight = 64;
    const needed = pad * 2 + 120 + rows.length * rowHeight + rows.filter(p => p.top).length * verdictHeight;
    const height = Math.max(width, needed);
    const canvas = Object.assign(document.createElement('canvas'), { width, height });
    const g = canvas.getContext('2d'), font = getComputedStyle(document.body).fontFamily; // the page's
    const text = (words, x, y, size, color, align = 'left', weight = '') => {
        g.font = `${weight} ${size}px ${font}`;
        g.fillStyle = color;
        g.textAlign = align;
        g.fillText(words, x, y, width - 2 * pad);
    };
    g.fillStyle = colors.back;
    g.fillRect(0, 0, width, height);
    let y = pad + (height - needed) / 2;
    text('Chi sei?', pad, y + 56, 64, colors.top, 'left', 'bold');
    y += 120;
    for (const p of rows) {
        const color = p.top ? colors.top : colors.text;
        text(p.name, pad, y + 44, 44, color, 'left', p.top ? 'bold' : '');
        text(String(p.count), width - pad, y + 44, 44, color, 'right', 'bold');
        g.fillStyle = colors.track;
        g.fillRect(pad, y + 68, width - 2 * pad, 28);
        g.fillStyle = p.top ? colors.top : colors.bar;
        g.fillRect(pad, y + 68, ((width - 2 * pad) * p.count) / 8, 28);
        if (p.top) {
            text(p.verdict, pad, y + 150, 48, colors.text, 'left', 'bold');
            y += verdictHeight;
        }
        y += rowHeight;
    }
    const data = atob(canvas.toDataURL('image/png').split(',')[1]);
    return Uint8Array.from(data, c => c.charCodeAt(0));
}
