// The page in Debian's headless chromium, used as a person would: at a
// desktop size with the keyboard, and under a phone's emulation with touch
// and the events that phone keyboards send. The screen is read back from the
// transcript, a line an element.
// Usage: node --test browser.test.mjs   (CHISEI_WEB_PAGE: the page's folder)
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { KnownDevices } from 'puppeteer-core';
import { launch, serve } from './chromium.mjs';

const folder = process.env.CHISEI_WEB_PAGE;
const deadline = 10000;
const q1 = 'Qual è il tuo piatto preferito?';
const prompt = '(batti un tasto per iniziare)';
let server, browser;

before(async () => {
    assert.ok(folder && fs.existsSync(path.join(folder, 'chisei.html')), 'CHISEI_WEB_PAGE');
    server = await serve(folder);
    browser = await launch();
});

after(async () => {
    await browser?.close();
    server?.close();
});

const screen = page =>
    page.evaluate(() => [...window.chisei.transcript.children].map(l => l.textContent).join('\n'));
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

async function ctrl(page, key) {
    await page.keyboard.down('Control');
    await page.keyboard.press(key);
    await page.keyboard.up('Control');
}

async function answer(page, keys) {
    await page.keyboard.type(keys);
    await page.keyboard.press('Enter');
}

// The run has ended with status, and the page says so, the results still there.
async function ended(page, status, words) {
    assert.equal(await exitWithin(page, deadline), status);
    await page.waitForSelector('#end:not([hidden])', { timeout: deadline });
    assert.equal(await page.$eval('#end-text', e => e.textContent), words);
}

// The final key; the run ends with status 0, the results stay.
async function finish(page, key = () => page.keyboard.press('q')) {
    await waitFor(page, 'Sei uno scoiattolo!');
    assert.equal(await exitWithin(page, 300), 'running'); // waiting for a key
    assert.equal(await page.$eval('#hint', e => e.hidden), false);
    await key();
    await ended(page, 0, 'Il quiz è finito.');
    assert.ok((await screen(page)).endsWith('profilo C\nSei uno scoiattolo!'));
}

// A phone keyboard's events on the focused field: ['keydown' | 'keypress' |
// 'keyup', key, keyCode], ['edit', inputType, data] (the edit applied
// between beforeinput and input, unless cancelled, as the browser does for
// real ones), or [a composition event, data].
function replay(steps) {
    const field = document.activeElement;
    const edit = (inputType, data) => {
        const init = { inputType, data, bubbles: true, cancelable: true };
        if (!field.dispatchEvent(new InputEvent('beforeinput', init))) return;
        const at = field.selectionStart;
        if (inputType === 'deleteContentBackward') field.setRangeText('', at - 1, at, 'end');
        else if (inputType === 'insertReplacementText') field.setRangeText(data, 0, field.value.length, 'end');
        else field.setRangeText(data, at, field.selectionEnd, 'end');
        field.dispatchEvent(new InputEvent('input', init));
    };
    for (const [what, a, b] of steps) {
        const init = { bubbles: true, cancelable: true };
        if (what.startsWith('key')) field.dispatchEvent(new KeyboardEvent(what, { ...init, key: a, keyCode: b }));
        else if (what === 'edit') edit(a, b);
        else field.dispatchEvent(new CompositionEvent(what, { ...init, data: a }));
    }
}

// How phone keyboards send a letter, then Enter.
const ime = ['keydown', 'Unidentified', 229];
const imeUp = ['keyup', 'Unidentified', 229];
const enter = [['keydown', 'Enter', 13], ['keyup', 'Enter', 13]];
const real = (type, l) => [type, l, l.toUpperCase().charCodeAt(0)];
const phoneKeyboards = [
    ['Android, keyCode 229 and insertText', l => [ime, ['edit', 'insertText', l], imeUp, ...enter]],
    ['Android, each letter composed', l => [ime, ['compositionstart', ''], ['compositionupdate', l],
        ['edit', 'insertCompositionText', l], ['compositionend', l], imeUp, ...enter]],
    ['Android autocorrect, an x corrected', l => [ime, ['edit', 'insertText', 'x'], imeUp,
        ['edit', 'deleteContentBackward', null], ['edit', 'insertText', l], ...enter]],
    ['iOS, the real key', l => [real('keydown', l), real('keypress', l), ['edit', 'insertText', l],
        real('keyup', l), ...enter]],
    ['iOS autocorrect, an x replaced', l => [real('keydown', 'x'), ['edit', 'insertText', 'x'],
        real('keyup', 'x'), ['edit', 'insertReplacementText', l], ...enter]],
    ['Android, the letter rolled over with its Enter', l => [ime, ['keydown', 'Enter', 13],
        ['edit', 'insertText', l], imeUp, ['keyup', 'Enter', 13]]],
];

async function open(page, url = server.url) {
    await page.goto(url);
    await waitFor(page, prompt);
    return page;
}

// A phone: touch, a phone's user agent, width x height.
async function phone(page, width = 360, height = 740) {
    await page.emulate({ ...KnownDevices['Pixel 5'], viewport: { width, height, deviceScaleFactor: 3,
        isMobile: true, hasTouch: true } });
}

async function tapConsole(page) {
    const box = await page.$eval('#console', e => e.getBoundingClientRect().toJSON());
    await page.touchscreen.tap(box.x + box.width / 2, box.y + 20);
}

// Whether element (a selector, or the transcript line holding text) lies in
// what the screen shows.
function visible(page, text) {
    return page.evaluate(text => {
        const e = [...window.chisei.transcript.children].find(l => l.textContent === text) ??
            document.querySelector(text);
        const r = e.getBoundingClientRect(), v = window.visualViewport;
        return r.top >= v.offsetTop && r.bottom <= v.offsetTop + v.height;
    }, text);
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
        assert.ok(s.includes(`${prompt}\n\n\n${q1}`), s);
        assert.ok(s.includes('e) carogne putrefatte\na\n\nDi che cosa hai paura?'), s);
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
        assert.ok(s.includes(`${prompt}\n\n\n${q1}`), s);
        await finish(page);
    }],
    ['an emoji as the start key is one key', async page => {
        await page.keyboard.sendCharacter('😀');
        await waitFor(page, 'e) carogne');
        await answer(page, 'abcdeabc');
        assert.equal(count(await waitFor(page, 'Sei uno scoiattolo!'), q1), 1);
        await finish(page);
    }],
    ['Backspace erases the typed letter', async page => {
        await page.keyboard.press('s');
        await waitFor(page, 'e) carogne');
        await page.keyboard.type('x');
        await page.keyboard.press('Backspace');
        await answer(page, 'a');
        const s = await waitFor(page, 'Di che cosa hai paura?');
        assert.equal(count(s, q1), 1);
        assert.ok(s.includes('e) carogne putrefatte\na\n'), s);
        await answer(page, 'bcdeabc');
        await finish(page);
    }],
    ['a pasted text delivers a line at each break', async page => {
        await page.keyboard.press('s');
        await waitFor(page, 'e) carogne');
        await page.$eval('#answer', field => {
            const data = new DataTransfer();
            data.setData('text/plain', 'abcd\neabc\n');
            field.dispatchEvent(new ClipboardEvent('paste', { clipboardData: data, bubbles: true, cancelable: true }));
        });
        const s = await waitFor(page, 'Sei uno scoiattolo!');
        assert.equal(count(s, 'e) '), 8);
        assert.ok(s.includes('\nabcd\n') && s.includes('\neabc\n'), s);
        await finish(page);
    }],
    ['Ctrl-D on an empty field ends the input', async page => {
        await page.keyboard.press('s');
        await waitFor(page, 'e) carogne');
        await ctrl(page, 'd');
        await ended(page, 1, 'Il quiz si è fermato: le risposte sono finite prima dell’ottava domanda.');
        assert.ok((await screen(page)).endsWith('e) carogne putrefatte'));
    }],
    ['Ctrl-D after some letters delivers them, and the quiz goes on', async page => {
        await page.keyboard.press('s');
        await waitFor(page, 'e) carogne');
        await page.keyboard.type('ab');
        await ctrl(page, 'd');
        assert.ok((await waitFor(page, 'in tv?')).includes('e) carogne putrefatte\nab\nDi che cosa hai paura?'));
        await answer(page, 'cdeabc');
        await finish(page);
    }],
    ['Ctrl-C copies a selection, and without one ends the run', async page => {
        await page.keyboard.press('s');
        await waitFor(page, 'e) carogne');
        await page.evaluate(() => window.getSelection().selectAllChildren(window.chisei.transcript));
        await ctrl(page, 'c');
        assert.equal(await exitWithin(page, 300), 'running');
        await page.evaluate(() => window.getSelection().removeAllRanges());
        await ctrl(page, 'c');
        await ended(page, 130, 'Quiz interrotto (Ctrl-C).');
        assert.ok((await screen(page)).endsWith('e) carogne putrefatte\n^C'));
    }],
    ['keys after the final key leave the results, and a new quiz starts afresh', async page => {
        await page.keyboard.press('s');
        await waitFor(page, 'e) carogne');
        await answer(page, 'abcdeabc');
        await finish(page, () => page.keyboard.press('Enter'));
        for (const key of ['Enter', 'Enter', ' ', 'x']) await page.keyboard.press(key);
        await new Promise(resolve => setTimeout(resolve, 100));
        assert.ok((await screen(page)).endsWith('Sei uno scoiattolo!'));
        assert.equal(await page.$eval('#end', e => e.hidden), false);
        for (let tabs = 0; tabs < 3 && (await page.evaluate(() => document.activeElement.id)) !== 'again'; tabs++)
            await page.keyboard.press('Tab'); // the button is reachable
        await page.keyboard.press('Enter');
        await waitFor(page, prompt);
        assert.ok(!(await screen(page)).includes('Sei uno scoiattolo!'));
        await page.keyboard.press('s');
        await answer(page, 'eeedddcb');
        await waitFor(page, 'SEI UNA IENA, COMPLIMENTI!');
        await page.keyboard.press('q');
        assert.equal(await exitWithin(page, deadline), 0);
    }],
];

for (const [name, steps] of cases)
    test(name, async () => {
        const page = await open(await browser.newPage());
        try {
            await steps(page);
        } finally {
            await page.close();
        }
    });

test('keys typed before the program is ready, in two bursts, arrive in order', async () => {
    const page = await browser.newPage();
    await page.evaluateOnNewDocument(() => {
        const instantiate = WebAssembly.instantiate;
        const ready = new Promise(resolve => (window.testStart = resolve));
        WebAssembly.instantiate = (...args) => ready.then(() => instantiate(...args));
    });
    await page.goto(server.url);
    await answer(page, 'sab');
    await answer(page, 'cdeabc');
    await page.evaluate(() => window.testStart());
    const s = await waitFor(page, 'Sei uno scoiattolo!');
    assert.equal(count(s, 'e) '), 8);
    assert.ok(s.includes(`${prompt}\n\n\n${q1}`), s);
    await finish(page);
    await page.close();
});

test('the page opened as a file plays', async () => {
    const page = await open(await browser.newPage(), `file://${path.resolve(folder, 'chisei.html')}`);
    await page.keyboard.press('s');
    await answer(page, 'abcdeabc');
    await finish(page);
    await page.close();
});

test('without JavaScript or WebAssembly the page says what the quiz needs', async () => {
    const page = await browser.newPage();
    await page.setJavaScriptEnabled(false);
    await page.goto(server.url);
    assert.match(await page.$eval('body', b => b.innerText), /serve JavaScript/);
    await page.setJavaScriptEnabled(true);
    await page.evaluateOnNewDocument(() => delete window.WebAssembly);
    await page.goto(server.url);
    assert.match(await page.$eval('#end-text', e => e.textContent), /serve un browser che esegua WebAssembly/);
    assert.equal(await page.$eval('#again', e => e.hidden), true);
    await page.close();
});

// ---- On a phone -------------------------------------------------------------

for (const [name, typing] of phoneKeyboards)
    test(`on a phone, a tap starts; answers typed: ${name}`, async () => {
        const page = await browser.newPage();
        await phone(page);
        await open(page);
        await tapConsole(page);
        await waitFor(page, 'e) carogne');
        assert.equal(await page.evaluate(() => document.activeElement.id), 'answer');
        for (const [i, letter] of [...'abcdeabc'].entries()) {
            await waitFor(page, 'e) ', i + 1);
            await page.evaluate(replay, typing(letter));
        }
        const s = await waitFor(page, 'Sei uno scoiattolo!');
        assert.equal(count(s, 'e) '), 8);
        assert.ok(s.includes('a= 2 b= 2 c= 2 d= 1 e= 1'), s);
        await finish(page, () => tapConsole(page));
        await page.close();
    });

test('on a phone, a key of the on-screen keyboard at a key wait is one key, its text dropped', async () => {
    const page = await browser.newPage();
    await phone(page);
    for (const [, typing] of phoneKeyboards.slice(0, 2)) {
        await open(page);
        await page.evaluate(replay, typing('x').slice(0, -2)); // without its Enter
        await waitFor(page, 'e) carogne');
        assert.equal(await page.$eval('#answer', e => e.value), '');
        await page.evaluate(replay, typing('a'));
        assert.equal(count(await waitFor(page, 'paura?'), q1), 1);
    }
    await page.close();
});

test('on a phone, lines wrap between words and nothing scrolls sideways', async () => {
    const page = await browser.newPage();
    for (const width of [360, 320]) {
        await phone(page, width);
        await open(page);
        await tapConsole(page);
        await answer(page, 'abcdeab');
        await waitFor(page, 'mancare?');
        const broken = await page.evaluate(() => {
            const words = [];
            for (const line of window.chisei.transcript.children)
                for (const m of line.textContent.matchAll(/\S+/g)) {
                    const range = document.createRange();
                    range.setStart(line.firstChild, m.index);
                    range.setEnd(line.firstChild, m.index + m[0].length);
                    if (new Set([...range.getClientRects()].map(r => r.top)).size > 1) words.push(m[0]);
                }
            return words;
        });
        assert.deepEqual(broken, [], `${width} px`);
        assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= window.innerWidth));
    }
    await page.close();
});

test('on a phone, the question and the field stay above the keyboard', async () => {
    const page = await browser.newPage();
    await phone(page);
    await open(page);
    await tapConsole(page);
    await answer(page, 'abcde');
    await waitFor(page, 'preferisci?');
    // The keyboard takes 45 % of the height: the visual viewport shrinks.
    await page.evaluate(() => {
        Object.defineProperty(window.visualViewport, 'height', { get: () => 740 * 0.55 });
        window.visualViewport.dispatchEvent(new Event('resize'));
    });
    await new Promise(resolve => setTimeout(resolve, 100));
    for (const line of ['Quale tra questi film preferisci?', 'a) Tentacoli (una piovra gigante semina il panico...)',
        'e) Le iene (di Borvaldini)', '#answer'])
        assert.ok(await visible(page, line), line);
    assert.ok(await page.$eval('#answer', e => e.getBoundingClientRect().height >= 44));
    await page.close();
});

test('a screen reader finds whole lines and the field\'s Italian label', async () => {
    const page = await open(await browser.newPage());
    await page.keyboard.press('s');
    await waitFor(page, 'e) carogne');
    const texts = [];
    const walk = node => {
        if (node.role === 'StaticText' || node.role === 'textbox') texts.push(`${node.role}:${node.name}`);
        node.children?.forEach(walk);
    };
    walk(await page.accessibility.snapshot());
    assert.ok(texts.includes(`StaticText:${q1}`), texts.join('\n'));
    assert.ok(texts.includes('textbox:La tua risposta'), texts.join('\n'));
    await page.close();
});
