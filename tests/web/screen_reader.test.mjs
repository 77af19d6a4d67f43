// The page heard through a real screen reader (Orca, screen_reader.mjs) in
// firefox-esr and in chromium, a whole quiz played with real key presses:
// what it says at load holds the intro; every line the program writes is
// heard, in order, and none more often than it is shown; the end is heard,
// once.
// Usage: node --test screen_reader.test.mjs
//   (CHISEI_WEB_PAGE: the page's folder; CHISEI_PROGRAM: its chisei.js)
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import path from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { ScreenReader, words } from './screen_reader.mjs';

const page = `file://${path.resolve(process.env.CHISEI_WEB_PAGE ?? '', 'chisei.html')}`;
const answers = 'abcdeabc';

// The lines the program writes for these answers: the program itself run
// under node, as the page runs it.
function programLines() {
    const host = fileURLToPath(new URL('run_node.mjs', import.meta.url));
    const run = spawnSync(process.execPath, [host, process.env.CHISEI_PROGRAM ?? ''], { input: `${answers}\n` });
    assert.equal(run.status, 0, run.stderr.toString());
    return run.stdout.toString().split('\n').filter(line => line.trim() !== '');
}

const count = (text, part) => ` ${text} `.split(` ${part} `).length - 1;

// A whole quiz: the start key, each answer and Enter, the final key; each
// key once what it makes the page say has been heard.
async function play(reader) {
    const atLoad = reader.said().length;
    reader.press('s');
    await reader.hear('e) carogne putrefatte', atLoad);
    const heard = ['e) praticamente di niente...', 'e) Le iene', 'e) a ridacchiare',
        'e) disegno piovre e le attacco al muro', 'e) Le iene (di Borvaldini)', 'e) sono caduta dalla seggiovia',
        'e) una scaletta', 'Sei uno scoiattolo!'];
    for (const [i, letter] of [...answers].entries()) {
        const from = reader.said().length;
        reader.press(letter);
        reader.press('Return');
        await reader.hear(heard[i], from);
    }
    const from = reader.said().length;
    reader.press('q');
    await reader.hear('Il quiz è finito.', from);
    await reader.quiet(3000);
    return atLoad;
}

for (const browser of ['firefox', 'chromium'])
    test(`${browser} with Orca: every line heard once, in order; the intro at load, the end`, async () => {
        const lines = programLines();
        const reader = await ScreenReader.start();
        try {
            await reader.open(browser, page);
            await reader.hear(lines[0], 0, 90000); // the page announced, with its intro
            const atLoad = await play(reader);
            const said = reader.said();
            const stream = said.map(words).join(' ');
            const shown = lines.map(words).join(' ');
            const load = said.slice(0, atLoad).map(words).join(' ');
            for (const line of lines.slice(0, 4)) assert.ok(count(load, words(line)) > 0, `at load: ${line}\n${said.join('\n')}`);
            let at = 0;
            for (const line of lines) {
                const found = ` ${stream} `.indexOf(` ${words(line)} `, at);
                assert.ok(found >= 0, `not heard in order: ${line}\n${said.join('\n')}`);
                at = found + words(line).length;
            }
            for (const line of lines)
                assert.ok(count(stream, words(line)) <= count(shown, words(line)), `heard too often: ${line}\n${said.join('\n')}`);
            assert.equal(count(stream, words('Il quiz è finito.')), 1, said.join('\n'));
        } finally {
            await reader.stop();
        }
    });
