// The result as a picture, to keep and to share: the five profiles, each
// with its name and its count of the eight answers as a bar, those with the
// most marked, with their verdicts. It is one SVG, shown in the page (for a
// screen reader one image, whose name says it all in words) and drawn as a
// PNG when the share button is pressed, to hand to the system's share
// sheet where the browser can share files (phones), or else to save, with
// a line naming the result copied.
import { profiles } from './result.mjs';

const fileName = 'chisei-risultato.png';

export class Picture {
    #element;
    #button;
    #say; // says something in the end's line for a moment
    #text = ''; // what is shared with the picture
    #image = null; // the picture as an image, to draw

    constructor(element, button, say) {
        this.#element = element;
        this.#button = button;
        this.#say = say;
        button.addEventListener('click', () => this.#share());
    }

    show({ counts, profiles: top }) {
        const rows = profiles.map((p, i) => ({ ...p, count: counts[i], top: top.includes(p.letter) }));
        const best = rows.filter(p => p.top);
        const svg = picture(rows, getComputedStyle(this.#element).fontFamily);
        this.#element.setAttribute('aria-label', `Risultato: ${rows.map(p => `${p.name} ${p.count}`).join(', ')}; ` +
            `sei ${best.map(p => p.one).join(', ')}`);
        this.#element.innerHTML = svg;
        this.#text = `Ho fatto il quiz «Chi sei?»: ${best.map(p => p.verdict).join(' ')}`;
        this.#image = Object.assign(new Image(), { src: `data:image/svg+xml,${encodeURIComponent(svg)}` });
        this.#element.hidden = this.#button.hidden = false;
    }

    hide() {
        this.#element.hidden = this.#button.hidden = true;
    }

    // (The PNG is drawn and shared within the press: a phone shares only then.)
    async #share() {
        if (!this.#image.complete) await this.#image.decode();
        const file = new File([png(this.#image)], fileName, { type: 'image/png' });
        const data = { files: [file], text: this.#text };
        if (navigator.canShare?.(data)) navigator.share(data).catch(e => e.name === 'AbortError' || this.#save(file));
        else this.#save(file);
    }

    #save(file) {
        const link = Object.assign(document.createElement('a'), { href: URL.createObjectURL(file), download: fileName });
        document.body.append(link);
        link.click();
        link.remove();
        setTimeout(() => URL.revokeObjectURL(link.href), 60000);
        const saved = `Immagine salvata: ${fileName}`;
        (navigator.clipboard?.writeText(this.#text) ?? Promise.reject())
            .then(() => this.#say(`${saved}; testo copiato negli appunti.`), () => this.#say(`${saved}.`));
    }
}

// The picture, 1080 wide (and as tall, or taller with more marked): a
// title, then a profile a row, its name and count above its bar, and below
// it its verdict if it has the most. (Its text large enough to read on a
// phone's screen, where it is a third of its size.)
function picture(rows, font) {
    const needed = 990 + 90 * rows.filter(p => p.top).length, height = Math.max(1080, needed);
    let y = 200 + (height - needed) / 2;
    const title = `<text x="72" y="${y - 70}" font-size="72" font-weight="bold" fill="#8cf">Chi sei?</text>`;
    const lines = rows.map(p => {
        const at = y;
        y += p.top ? 240 : 150;
        return `<g${p.top ? ' data-top="" fill="#8cf" font-weight="bold"' : ''}><text x="72" y="${at + 56}">${p.name}</text>` +
            `<text x="1008" y="${at + 56}" text-anchor="end" font-weight="bold">${p.count}</text>` +
            `<rect x="72" y="${at + 80}" width="936" height="32" fill="#2f353c"/>` +
            `<rect x="72" y="${at + 80}" width="${117 * p.count}" height="32"${p.top ? '' : ' fill="#7d8894"'}/>` +
            `${p.top ? `<text x="72" y="${at + 190}" fill="#e8e8e8">${p.verdict}</text>` : ''}</g>`;
    });
    return `<svg xmlns="http://www.w3.org/2000/svg" width="1080" height="${height}" viewBox="0 0 1080 ${height}" ` +
        `font-family='${font}' font-size="56" fill="#e8e8e8"><rect width="1080" height="${height}" fill="#111"/>` +
        `${title}${lines.join('')}</svg>`;
}

// The picture drawn at its size: the PNG's bytes.
function png(image) {
    const canvas = Object.assign(document.createElement('canvas'), { width: image.width, height: image.height });
    canvas.getContext('2d').drawImage(image, 0, 0);
    return Uint8Array.from(atob(canvas.toDataURL('image/png').split(',')[1]), c => c.charCodeAt(0));
}
