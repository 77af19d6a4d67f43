// The result of a run, read from what the program writes at its end: its
// results line ("a= 2 b= 2 c= 2 d= 2 e= 0") and, for each profile with the
// most answers, in the order A to E, its block ("profilo A", "Sei una
// piovra!"). This is the one place where the page reads the program's
// words: where they are not there as the program writes them, there is no
// result.

// The five profiles: the program's letter and verdict, the page's name and
// the name with its article.
export const profiles = [
    { letter: 'A', verdict: 'Sei una piovra!', name: 'piovra', one: 'una piovra' },
    { letter: 'B', verdict: 'Sei un camion!', name: 'camion', one: 'un camion' },
    { letter: 'C', verdict: 'Sei uno scoiattolo!', name: 'scoiattolo', one: 'uno scoiattolo' },
    { letter: 'D', verdict: 'Sei una capra tibetana!', name: 'capra tibetana', one: 'una capra tibetana' },
    { letter: 'E', verdict: 'SEI UNA IENA, COMPLIMENTI!', name: 'iena', one: 'una iena' },
];

const ending = /\nEcco i risultati:\na= (\d) b= (\d) c= (\d) d= (\d) e= (\d)\n((?:\nprofilo [A-E]\n[^\n]*\n)+)$/;

// Of a text that the program wrote, ending where the run ended: { counts:
// [a, b, c, d, e], profiles: the letters of those with the most }, or null.
export function readResult(text) {
    const found = ending.exec(text);
    if (!found) return null;
    const counts = found.slice(1, 6).map(Number);
    const top = profiles.filter((_, i) => counts[i] === Math.max(...counts));
    const blocks = top.map(p => `\nprofilo ${p.letter}\n${p.verdict}\n`).join('');
    if (counts.reduce((sum, n) => sum + n) !== 8 || blocks !== found[6]) return null;
    return { counts, profiles: top.map(p => p.letter) };
}

// What the program writes, as it writes it (UTF-8): only the last bytes
// are kept, enough for its results, in a ring.
export class Output {
    #ring = new Uint8Array(1024);
    #written = 0;

    write(bytes) {
        const ring = this.#ring, size = ring.length;
        const part = bytes.subarray(Math.max(0, bytes.length - size));
        const at = (this.#written + bytes.length - part.length) % size, first = Math.min(part.length, size - at);
        ring.set(part.subarray(0, first), at);
        ring.set(part.subarray(first), 0);
        this.#written += bytes.length;
    }

    // The run's result, from what it wrote last.
    result() {
        const size = this.#ring.length, at = this.#written % size;
        const last = this.#written < size ? this.#ring.subarray(0, at)
            : Uint8Array.of(...this.#ring.subarray(at), ...this.#ring.subarray(0, at));
        return readResult(new TextDecoder().decode(last));
    }
}
