// Benchmark of the web page: the bytes it loads (raw and gzipped, per file
// and in all), and in headless chromium the time from navigation to the
// intro on screen and from Enter to the next question on screen. A text is
// "on screen" once xterm.js has put it into the page, which it does in a
// frame's animation step: that frame paints it. Prints the figures and PASS
// or FAIL against each target.
// Usage: node bench/web.mjs build/web
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import { launch, serve } from '../tests/web/chromium.mjs';

const folder = process.argv[2] ?? 'build/web';
const loads = 11; // page loads timed
const targets = { gzipped: 110 * 1000, intro: 300, answer: 1000 / 60 };

function median(values) {
    const s = [...values].sort((a, b) => a - b);
    return s[Math.floor(s.length / 2)];
}

// ---- Bytes --------------------------------------------------------------
const loaded = ['index.html', 'xterm.css', 'chisei.js', 'page.mjs', 'line_discipline.mjs', 'xterm.mjs'];
let raw = 0, gzipped = 0;
console.log('file                  bytes   gzipped');
for (const name of loaded) {
    const data = fs.readFileSync(path.join(folder, name));
    const packed = zlib.gzipSync(data, { level: 9 }).length;
    raw += data.length;
    gzipped += packed;
    console.log(`${name.padEnd(20)} ${String(data.length).padStart(7)} ${String(packed).padStart(9)}`);
}
console.log(`${'all'.padEnd(20)} ${String(raw).padStart(7)} ${String(gzipped).padStart(9)}`);

// ---- Times --------------------------------------------------------------
const server = await serve(folder);
const browser = await launch();

// In the page, before its scripts: when each awaited text first reaches the
// screen, and when the last Enter was pressed.
function watch() {
    window.benchShown = {};
    window.benchAwaited = [];
    new MutationObserver(() => {
        const text = document.body?.textContent ?? '';
        for (const t of window.benchAwaited)
            if (!(t in window.benchShown) && text.includes(t)) window.benchShown[t] = performance.now();
    }).observe(document, { childList: true, subtree: true, characterData: true });
    document.addEventListener('keydown', e => {
        if (e.key === 'Enter') window.benchEnter = performance.now();
    }, true);
    window.benchAwaited.push('(batti un tasto per iniziare)');
}

async function shown(page, text) {
    await page.waitForFunction(t => window.benchShown[t] > 0, { timeout: 10000 }, text);
    return page.evaluate(t => window.benchShown[t], text);
}

const intro = [], answer = [];
const next = ['paura?', 'in tv?', 'rinunciare?', 'libero?', 'preferisci?', 'avuto?', 'mancare?',
    'Ecco i risultati:'];
for (let i = 0; i < loads; i++) {
    const page = await browser.newPage();
    await page.evaluateOnNewDocument(watch);
    await page.goto(server.url);
    intro.push(await shown(page, '(batti un tasto per iniziare)'));
    await page.evaluate(n => window.benchAwaited.push(...n), next);
    await page.keyboard.press('s');
    await page.waitForFunction(() => document.body.textContent.includes('e) carogne'));
    for (const [k, letter] of [...'abcdeabc'].entries()) {
        await page.keyboard.type(letter);
        await page.keyboard.press('Enter');
        const at = await shown(page, next[k]);
        answer.push(at - (await page.evaluate(() => window.benchEnter)));
    }
    await page.close();
}
await browser.close();
server.close();

const verdict = ok => (ok ? 'PASS' : 'FAIL');
const results = [
    [`bytes loaded, gzipped: ${gzipped} (raw ${raw})`, gzipped <= targets.gzipped, '<= 110 KB'],
    [`navigation to intro on screen, ms (median of ${loads}): ${median(intro).toFixed(1)}` +
        ` (max ${Math.max(...intro).toFixed(1)})`, median(intro) <= targets.intro, '<= 300 ms'],
    [`Enter to next question on screen, ms (median of ${answer.length}): ${median(answer).toFixed(1)}` +
        ` (max ${Math.max(...answer).toFixed(1)})`, median(answer) <= targets.answer,
        '<= one 60 Hz frame, 16.7 ms'],
];
console.log();
for (const [figure, ok, target] of results) console.log(`${figure}  target ${target}: ${verdict(ok)}`);
process.exitCode = results.every(r => r[1]) ? 0 : 1;
