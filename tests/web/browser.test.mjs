// The page in Debian's headless chromium, typed at as a person would, the
// screen read back from xterm.js once it has drawn what it was given.
// Usage: node --test browser.test.mjs   (CHISEI_WEB_PAGE: the page's folder)
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { launch, serve } from './chromium.mjs';

const folder = process.env.CHISEI_WEB_PAGE;
const deadline = 10000;
const q1 = 'Qual è il tuo piatto preferito?';
let server, browser;

before(async () => {
    assert.ok(folder && fs.existsSync(path.join(folder, 'index.html')), 'CHISEI_WEB_PAGE');
    server = await serve(folder);
    browser = await launch();
});

after(async () => {
    await browser?.close();
    server?.close();
});

// The terminal's lines, once xterm.js has parsed everything written so far.
function screen(page) {
    return page.evaluate(() => new Promise(resolve => {
        const t = window.chisei.terminal;
        t.write('', () => {
            const b = t.buffer.active, lines = [];
            for (let i = 0; i < b.length; i++) lines.push(b.getLine(i).translateToString(true));
            resolve(lines.join('\n').replace(/\n+$/, ''));
        });
    }));
}

const count = (text, part) => text.split(part).length - 1;

// Until the screen shows text (times times); fails the test if it does not.
async function waitFor(page, text, times = 1) {
    const end = Date.now() + deadline;
    for (;;) {
        const s = await screen(page);
        if (count(s, text) >= times) return s;
        if (Date.now() > end) assert.fail(`never shown: ${text}\n${s}`);
        await new Promise(resolve => setTimeout(resolve, 20));
    }
}

// The run's exit status, or 'running' if it has not ended within ms.
function exitWithin(page, ms) {
    return page.evaluate(ms => Promise.race([window.chisei.exit,
        new Promise(resolve => setTimeout(() => resolve('running'), ms))]), ms);
}

async function open() {
    const page = await browser.newPage();
    await page.goto(server.url);
    await waitFor(page, '(batti un tasto per iniziare)');
    return page;
}

// Presses the start key, then waits until question 1 is shown.
async function startKey(page) {
    await page.keyboard.press('s');
    await waitFor(page, 'e) carogne');
}

async function answer(page, keys) {
    await page.keyboard.type(keys);
    await page.keyboard.press('Enter');
}

// Types the final key; the run ends with status 0 and the page says so.
async function finish(page) {
    await waitFor(page, 'Sei uno scoiattolo!');
    assert.equal(await exitWithin(page, 300), 'running'); // waiting for a key
    await page.keyboard.press('q');
    assert.equal(await exitWithin(page, deadline), 0);
    await page.waitForSelector('#end:not([hidden])', { timeout: deadline });
    assert.equal(await page.$eval('#end-text', e => e.textContent), 'Il quiz è finito.');
}

const cases = [
    ['the whole quiz typed answer by answer', async page => {
        await page.keyboard.press('s');
        const next = ['paura?', 'in tv?', 'rinunciare?', 'libero?', 'preferisci?', 'avuto?',
            'mancare?', 'risultati:'];
        for (const [i, letter] of [...'abcdeabc'].entries()) {
            await waitFor(page, 'e) ', i + 1);
            await answer(page, letter);
            await waitFor(page, next[i]);
        }
        const s = await screen(page);
        assert.ok(s.includes('Alla fine apparirà il tuo profilo'));
        assert.ok(s.includes('(batti un tasto per iniziare)\n\n\n' + q1), s);
        assert.ok(s.includes('a) mi si è rotto un tentacolo sciando'));
        assert.ok(s.includes('Nella tua casa cosa non può mancare?'));
        assert.ok(s.includes('a= 2 b= 2 c= 2 d= 1 e= 1'));
        await finish(page);
    }],
    ['a key of several codes at the start, taken whole and not shown', async page => {
        await page.keyboard.press('ArrowUp');
        await waitFor(page, 'e) carogne');
        await answer(page, 'abcdeabc');
        const s = await waitFor(page, 'Sei uno scoiattolo!');
        assert.equal(count(s, q1), 1);
        assert.ok(!s.includes('[A') && s.includes('(batti un tasto per iniziare)\n\n\n' + q1), s);
        await finish(page);
    }],
    ['Backspace erases the typed letter', async page => {
        await startKey(page);
        await page.keyboard.type('x');
        await page.keyboard.press('Backspace');
        await answer(page, 'a');
        await waitFor(page, 'Di che cosa hai paura?');
        const s = await screen(page);
        assert.equal(count(s, q1), 1);
        assert.ok(s.includes('e) carogne putrefatte\na\n'), s);
        await answer(page, 'bcdeabc');
        await finish(page);
    }],
    ['a pasted line answers every question', async page => {
        await startKey(page);
        await page.evaluate(() => window.chisei.terminal.paste('abcdeabc\n'));
        const s = await waitFor(page, 'Sei uno scoiattolo!');
        assert.equal(count(s, 'e) '), 8);
        await finish(page);
    }],
    ['Ctrl-D on an empty line ends the input', async page => {
        await startKey(page);
        await page.keyboard.down('Control');
        await page.keyboard.press('d');
        await page.keyboard.up('Control');
        assert.equal(await exitWithin(page, deadline), 1);
        const s = await screen(page);
        assert.ok(s.endsWith('e) carogne putrefatte'), s);
        await page.waitForSelector('#end:not([hidden])', { timeout: deadline });
    }],
    ['a new quiz after the end starts a fresh run', async page => {
        await startKey(page);
        await answer(page, 'abcdeabc');
        await finish(page);
        await page.click('#again');
        await page.waitForSelector('#end[hidden]', { timeout: deadline });
        await waitFor(page, '(batti un tasto per iniziare)');
        assert.ok(!(await screen(page)).includes('Sei uno scoiattolo!'));
        assert.equal(await exitWithin(page, 0), 'running');
        await startKey(page);
        await answer(page, 'eeedddcb');
        await waitFor(page, 'SEI UNA IENA, COMPLIMENTI!');
        await page.keyboard.press('q');
        assert.equal(await exitWithin(page, deadline), 0);
    }],
];

for (const [name, steps] of cases)
    test(name, async () => {
        const page = await open();
        try {
            await steps(page);
        } finally {
            await page.close();
        }
    });
