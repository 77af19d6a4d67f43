// The page in Debian's headless chromium and Firefox and in WebKitGTK, used
// as a person would: at a desktop size with the keyboard, in all three; and
// under a phone's emulation with touch and the events that phone keyboards
// send, in chromium alone, which has the emulation; and audited by axe. The
// screen is read back from the transcript, a line an element.
// Usage: node --test browser.test.mjs   (CHISEI_WEB_PAGE: the page's folder;
// WebKit needs a display: xvfb-run)
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { KnownDevices } from 'puppeteer-core';
import { launch, serve, until } from './browsers.mjs';

const folder = process.env.CHISEI_WEB_PAGE;
const deadline = 10000;
const q1 = 'Qual è il tuo piatto preferito?';
const prompt = '(batti un tasto per iniziare)';
const engines = ['chromium', 'firefox', 'webkit'];
const browsers = {};
let server;

const built = () => fs.readFileSync(path.join(folder, 'chisei.html'), 'utf8');

// The page as built, but for a word of its first line: the program writes
// what it writes, whatever the page held.
function altered() {
    const html = built();
    const changed = html.replace('>Rispondi alle domande', '>Rispondete alle domande');
    assert.notEqual(changed, html, 'the page holds the first line');
    return changed;
}

// The page as built, with one more line after its intro, which the program
// never writes: the program waits before it has written all the page shows.
function longer() {
    const html = built();
    const changed = html.replace('(batti un tasto per iniziare)<br></div><div role="none"><br></div>',
        m => `${m}<div role="none">Una riga in più<br></div>`);
    assert.notEqual(changed, html, 'the page holds the intro\'s last lines');
    return changed;
}

// The page as built, but the program waits to start until the test calls
// window.testStart(): what is typed meanwhile is typed before it is ready.
function early() {
    const hold = `<head><script>{const instantiate = WebAssembly.instantiate;
        const ready = new Promise(resolve => (window.testStart = resolve));
        WebAssembly.instantiate = (...args) => ready.then(() => instantiate(...args));}</script>`;
    return built().replace('<head>', () => hold);
}

// A page served, with what its policy refuses (the directive's first word:
// script, img) kept in window.testViolations by a script before the policy.
const watched = html => html.replace('<head>', () => `<head><script>window.testViolations = [];
    document.addEventListener('securitypolicyviolation',
        e => window.testViolations.push(e.effectiveDirective.split('-')[0]));</script>`);

before(async () => {
    assert.ok(folder && fs.existsSync(path.join(folder, 'chisei.html')), 'CHISEI_WEB_PAGE');
    server = await serve(folder, { pages: { '/index.html': watched(built()), '/altered.html': watched(altered()),
        '/early.html': watched(early()), '/longer.html': watched(longer()) } });
    for (const engine of engines) browsers[engine] = await launch(engine);
    // The page may write the clipboard, for a real paste (Ctrl-V) of it.
    await browsers.chromium.defaultBrowserContext().overridePermissions(server.url.slice(0, -1),
        ['clipboard-read', 'clipboard-write', 'clipboard-sanitized-write']);
});

after(async () => {
    for (const browser of Object.values(browsers)) await browser.close();
    server?.close();
});

// The transcript's lines: an element a line, in blocks (none before the
// page's script has run).
const lines = () => [...window.chisei?.transcript.querySelectorAll('[role=none]') ?? []].map(l => l.textContent).join('\n');
const screen = page => page.evaluate(lines);
const count = (text, part) => text.split(part).length - 1;
const pause = ms => new Promise(resolve => setTimeout(resolve, ms));

// Until the screen shows text (times times): the screen.
const waitFor = (page, text, times = 1) => until(page, lines, { ok: s => count(s, text) >= times, what: text });

// The run's exit status, or 'running' if it has not ended within ms.
const exitWithin = (page, ms) => page.evaluate(ms => Promise.race([window.chisei.exit,
    new Promise(resolve => setTimeout(() => resolve('running'), ms))]), ms);

// Ctrl and a key; Ctrl-V pastes (chromium's own commands are named for it).
async function ctrl(page, key) {
    await page.keyboard.down('Control');
    await page.keyboard.press(key, key === 'v' ? { commands: ['paste'] } : {});
    await page.keyboard.up('Control');
}

// A real paste: the page writes the clipboard, then Ctrl-V.
async function paste(page, text) {
    await page.evaluate(t => navigator.clipboard.writeText(t), text);
    await ctrl(page, 'v');
}

// A flood: n characters that are no answer put in the field at once (as a
// paste does), then the eight answers, and Enter.
async function flood(page, n) {
    await page.evaluate(n => (document.getElementById('answer').value = `${'x'.repeat(n)}abcdeabc`), n);
    await page.keyboard.press('Enter');
}

// What a screen reader's log is told from now on: the text of each line
// added to the transcript, in order.
function watchAdditions() {
    window.testAdded = [];
    new MutationObserver(records => records.flatMap(r => [...r.addedNodes]).filter(n => n.nodeType === 1)
        .flatMap(n => (n.matches('[role=none]') ? [n] : [...n.querySelectorAll('[role=none]')]))
        .forEach(line => window.testAdded.push(line.textContent)))
        .observe(window.chisei.transcript, { childList: true, subtree: true });
}

// The lines the program writes once in a run, from question 2 on.
const once = ['Di che cosa hai paura?', 'Qual è il tuo programma preferito in tv?', 'A cosa non puoi rinunciare?',
    'Cosa fai nel tempo libero?', 'Quale tra questi film preferisci?', "L'ultimo incidente che hai avuto?",
    'Nella tua casa cosa non può mancare?', 'Ecco i risultati:', 'a= 2 b= 2 c= 2 d= 1 e= 1', 'Sei uno scoiattolo!'];

async function type(page, keys) {
    await page.keyboard.type(keys);
    await page.keyboard.press('Enter');
}

async function tap(page) {
    const box = await page.$eval('#console', e => e.getBoundingClientRect().toJSON());
    await page.touchscreen.tap(box.x + box.width / 2, box.y + 20);
}

// A phone keyboard's events on the focused field: ['keydown' | 'keypress' |
// 'keyup', key, keyCode], ['edit', inputType, data] (the edit applied
// between beforeinput and input, unless cancelled, as the browser does for
// real ones; a composition's text replaces what it composed so far), or [a
// composition event, data].
function replay(steps) {
    const field = document.activeElement;
    const init = { bubbles: true, cancelable: true };
    let composedFrom = null;
    for (const [what, a, b] of steps) {
        if (what.startsWith('key')) field.dispatchEvent(new KeyboardEvent(what, { ...init, key: a, keyCode: b }));
        else if (what.startsWith('composition')) {
            if (what === 'compositionstart') composedFrom = field.selectionStart;
            field.dispatchEvent(new CompositionEvent(what, { ...init, data: a }));
        } else {
            const composing = a === 'insertCompositionText';
            // (The input method's text cannot be cancelled.)
            const event = new InputEvent('beforeinput', { ...init, cancelable: !composing, inputType: a, data: b,
                isComposing: composing });
            if (!field.dispatchEvent(event) && !composing) continue;
            const at = field.selectionStart;
            if (a === 'deleteContentBackward') field.setRangeText('', at - 1, at, 'end');
            else if (a === 'insertReplacementText') field.setRangeText(b, 0, field.value.length, 'end');
            else if (composing) field.setRangeText(b, Math.min(composedFrom, field.value.length), field.selectionEnd, 'end');
            else field.setRangeText(b, at, field.selectionEnd, 'end');
            field.dispatchEvent(new InputEvent('input', { ...init, inputType: a, data: b, isComposing: composing }));
        }
    }
}

// How keyboards send a letter, then Enter; each plays a row of the
// keyboard's table (rule).
const ime = ['keydown', 'Unidentified', 229];
const imeUp = ['keyup', 'Unidentified', 229];
const enter = [['keydown', 'Enter', 13], ['keyup', 'Enter', 13]];
const real = (type, l) => [type, l, l.toUpperCase().charCodeAt(0)];
const composed = l => [['compositionstart', ''], ['compositionupdate', l], ['edit', 'insertCompositionText', l]];
const keyboards = [
    { rule: 'a key through an input method', name: 'Android, keyCode 229 and insertText',
        keys: l => [ime, ['edit', 'insertText', l], imeUp, ...enter] },
    { rule: 'a key through an input method', name: 'Android, each letter composed',
        keys: l => [ime, ...composed(l), ['compositionend', l], imeUp, ...enter] },
    { rule: 'replacement and autocorrect', name: 'Android autocorrect, an x corrected', keys: l => [ime, ['edit', 'insertText', 'x'],
        imeUp, ['edit', 'deleteContentBackward', null], ['edit', 'insertText', l], ...enter] },
    { rule: 'a desktop key', name: 'iOS, the real key', keys: l => [real('keydown', l), real('keypress', l),
        ['edit', 'insertText', l], real('keyup', l), ...enter] },
    { rule: 'replacement and autocorrect', name: 'iOS autocorrect, an x replaced', keys: l => [real('keydown', 'x'),
        ['edit', 'insertText', 'x'], real('keyup', 'x'), ['edit', 'insertReplacementText', l], ...enter] },
    { rule: 'Android\'s rolled-over Enter', name: 'Android, the letter rolled over with its Enter',
        keys: l => [ime, ['keydown', 'Enter', 13], ['edit', 'insertText', l], imeUp, ['keyup', 'Enter', 13]] },
    // The input method shows an x until Enter commits the word it makes of it.
    { rule: 'Enter before the input method\'s text', name: 'Enter while a word is composed, the word committed after it',
        keys: l => [ime, ...composed('x'), ['keydown', 'Enter', 229], ['compositionupdate', l],
            ['edit', 'insertCompositionText', l], ['compositionend', l], ['keyup', 'Enter', 13]] },
];

// A word composed whole before Enter: an update for each letter, each with
// all the letters so far.
const word = text => [...text].flatMap((_, i) => [ime, ['compositionupdate', text.slice(0, i + 1)],
    ['edit', 'insertCompositionText', text.slice(0, i + 1)]]);
const composedLine = text => [['compositionstart', ''], ...word(text), ['compositionend', text], imeUp, ...enter];

// Each row plays one run: open the page (on a phone, width px wide, if
// given; early: the program starts when the test says so), start it,
// answer, then the final key and exit status 0 with the results left on
// screen, or the exit status and end message the row gives; then its
// checks. rule names the row of the keyboard's table it plays; engines,
// where only some can play it.
const pressS = page => page.keyboard.press('s');
const finalKey = page => page.keyboard.press('q');
const rows = [
    { name: 'the whole quiz typed answer by answer', rule: 'a desktop key', answers: async page => {
        for (const [i, letter] of [...'abcdeabc'].entries()) {
            await waitFor(page, 'e) ', i + 1);
            await type(page, letter);
        }
    }, check: s => ['Alla fine apparirà il tuo profilo', `${prompt}\n\n\n${q1}`,
        'e) carogne putrefatte\na\n\nDi che cosa hai paura?', 'a) mi si è rotto un tentacolo sciando',
        'Nella tua casa cosa non può mancare?', 'a= 2 b= 2 c= 2 d= 1 e= 1'].forEach(t => assert.ok(s.includes(t), t)) },
    { name: 'a key of several codes at the start', rule: 'a desktop key', start: page => page.keyboard.press('ArrowUp') },
    // An emoji is text for chromium, sent as an input method sends it, and a
    // key for Firefox, as a keyboard layout that has it sends it; WebKit's
    // driver sends it through its input method, with no compositionstart.
    { name: 'an emoji as the start key', rule: 'an emoji', start: page => page.keyboard.type('😀') },
    { name: 'an emoji typed before the program is ready, then the answers', rule: 'an emoji', early: true,
        start: async page => {
            await page.keyboard.type('😀');
            await type(page, 'abcdeabc');
            await page.evaluate(() => window.testStart());
        }, answers: () => {} },
    { name: 'Backspace erases the typed letter', rule: 'a desktop key', answers: async page => {
        await page.keyboard.type('x');
        await page.keyboard.press('Backspace');
        await type(page, 'a');
        await type(page, 'bcdeabc');
    }, check: s => assert.ok(s.includes('e) carogne putrefatte\na\n'), s) },
    // (WebKit lets a page write its clipboard only in a user's gesture, which
    // its driver's script is not.)
    { name: 'a pasted text delivers a line at each break', rule: 'a paste with line breaks',
        engines: ['chromium', 'firefox'], answers: page => paste(page, 'abcd\neabc\n'),
        check: s => assert.ok(s.includes('\nabcd\n') && s.includes('\neabc\n'), s) },
    { name: 'a pasted text without a break stays in the field for Enter', rule: 'a paste without line breaks',
        engines: ['chromium', 'firefox'], answers: async page => {
            await paste(page, 'abcde');
            assert.equal(await page.$eval('#answer', e => e.value), 'abcde');
            await type(page, 'abc');
        }, check: s => assert.ok(s.includes('\nabcdeabc\n'), s) },
    { name: 'Ctrl-D on an empty field ends the input', rule: 'a desktop key', answers: page => ctrl(page, 'd'),
        status: 1, words: 'Il quiz si è fermato: le risposte sono finite prima dell’ottava domanda.',
        check: s => assert.ok(s.endsWith('e) carogne putrefatte'), s) },
    { name: 'Ctrl-D after some letters delivers them', rule: 'a desktop key', answers: async page => {
        await page.keyboard.type('ab');
        await ctrl(page, 'd');
        await type(page, 'cdeabc');
    }, check: s => assert.ok(s.includes('e) carogne putrefatte\nab\nDi che cosa hai paura?'), s) },
    { name: 'Ctrl-C copies a selection, and without one ends the run', answers: async page => {
        await page.evaluate(() => window.getSelection().selectAllChildren(window.chisei.transcript));
        await ctrl(page, 'c');
        assert.equal(await exitWithin(page, 300), 'running');
        await page.evaluate(() => window.getSelection().removeAllRanges());
        await ctrl(page, 'c');
    }, status: 130, words: 'Quiz interrotto (Ctrl-C).', check: s => assert.ok(s.endsWith('^C'), s) },
    { name: 'keys after the final key leave the results; the keyboard scrolls them; Tab reaches a new quiz',
        final: page => page.keyboard.press('Enter'), check: async (s, page) => {
            for (const key of ['Enter', 'Enter', ' ', 'x']) await page.keyboard.press(key);
            assert.ok((await screen(page)).endsWith('Sei uno scoiattolo!'));
            const focused = () => page.evaluate(() => document.activeElement.id);
            const tabs = async ids => {
                for (const id of ids) await page.keyboard.press('Tab').then(async () => assert.equal(await focused(), id));
            };
            for (let n = 0; n < 4 && (await focused()) !== 'again'; n++) await page.keyboard.press('Tab');
            await page.keyboard.down('Shift'); // back past sharing to the transcript, which Home scrolls to its top
            await tabs(['share', 'console']);
            await page.keyboard.up('Shift');
            await page.keyboard.press('Home');
            await until(page, () => document.getElementById('console').scrollTop === 0);
            await tabs(['share', 'again']);
            await page.keyboard.press('Enter');
            await until(page, () => document.getElementById('end').hidden && document.getElementById('picture').hidden);
            await pressS(page);
            await type(page, 'eeedddcb');
            await waitFor(page, 'SEI UNA IENA, COMPLIMENTI!');
            assert.ok(!(await screen(page)).includes('Sei uno scoiattolo!'));
        } },
    // The page's own first lines stay the elements they are once the program
    // writes the same: a screen reader is not told of them again.
    { name: 'keys typed before the program is ready, in two bursts; the page\'s first lines kept', early: true,
        rule: 'a desktop key', start: async page => {
            await page.evaluate(() => (window.testFirst = window.chisei.transcript.querySelector('[role=none]')));
            await type(page, 'sab');
            await type(page, 'cdeabc');
            await page.evaluate(() => window.testStart());
        }, answers: () => {}, check: async (s, page) =>
            assert.ok(await page.evaluate(() => window.chisei.transcript.querySelector('[role=none]') === window.testFirst)) },
    { name: 'words composed by an input method before the program is ready', rule: 'composing before the program is ready',
        early: true, start: async page => {
            await page.evaluate(replay, [...composedLine('sab'), ...composedLine('cdeabc')]);
            await page.evaluate(() => window.testStart());
        }, answers: () => {}, check: s => assert.ok(s.includes('e) carogne putrefatte\nab\n'), s) },
    { name: 'the page opened as a file; its result shared', file: true, check: (s, page) => shared(page, 'file') },
    // The page runs its own script alone and loads nothing.
    { name: 'a script or an image put into the page is refused', check: async (s, page) => {
        await page.evaluate(url => {
            const add = (tag, what) => document.body.append(Object.assign(document.createElement(tag), what));
            add('script', { textContent: 'window.testRan = true' });
            add('script', { src: `${url}x.js` });
            add('img', { src: `${url}x.png` });
        }, server.url);
        await until(page, () => window.testViolations.length === 3);
        assert.deepEqual(await page.evaluate(() => [window.testRan === true, window.testViolations.sort()]),
            [false, ['img', 'script', 'script']]);
    } },
    // A line break typed ahead is a line end: each line is answered and
    // echoed in turn. (The page may paste only in chromium and Firefox.)
    { name: 'a pasted text with line breaks before the program is ready delivers a line at each break',
        rule: 'a paste with line breaks', engines: ['chromium', 'firefox'], early: true, start: async page => {
            await pressS(page);
            await paste(page, 'abcd\neabc\n');
            await page.evaluate(() => window.testStart());
        }, answers: () => {}, check: s => assert.ok(s.includes('e) carogne putrefatte\nabcd\n') &&
            s.includes('e) disegno piovre e le attacco al muro\neabc\n'), s) },
    // What follows a pasted line stays in the field: the key wait takes it.
    { name: 'the text left in the field after a pasted line is the final key', engines: ['chromium', 'firefox'],
        answers: page => paste(page, 'abcdeabc\nq'), typedAhead: true },
    // The program's output that a frame would add and push out again is not
    // drawn; each line a screen reader's log is told of, once.
    { name: 'a flood of wrong characters: the newest lines kept, each added once', flood: true, start: async page => {
        await page.evaluate(watchAdditions);
        await pressS(page);
    }, answers: page => flood(page, 20000), check: async (s, page) => {
        const lines = s.split('\n'), from = lines.lastIndexOf(once[0]);
        assert.equal(lines.length, 9001);
        assert.deepEqual(lines.slice(from).filter(line => once.includes(line)), once);
        assert.equal(lines.length - from, 67); // from question 2's prompt on, as in any run
        const added = await page.evaluate(() => window.testAdded);
        for (const line of once) assert.equal(added.filter(text => text === line).length, 1, line);
    } },
    // More than the 64 KiB that the transcript first keeps for output not yet
    // drawn, within a frame: what it held before it grew is shown too.
    { name: 'a line of 1,000 wrong answers: every question shown as written', flood: true,
        answers: page => flood(page, 1000), check: s => {
            const block = s.slice(s.indexOf(q1), s.indexOf('e) carogne putrefatte') + 21);
            assert.equal(count(s, `\n${block}\n`), 1001, s);
        } },
    // The program is not started once the run has ended: the transcript shows
    // the ^C alone, not the page's own first lines.
    { name: 'Ctrl-C while the program is being started ends the run', early: true, stopsAtStart: true, start: async page => {
        await ctrl(page, 'c');
        await page.evaluate(() => window.testStart());
    }, status: 130, words: 'Quiz interrotto (Ctrl-C).', check: s => assert.equal(s, '^C') },
    { name: 'Ctrl-C at the final key: no result', answers: async page => {
        await type(page, 'abcdeabc');
        await waitFor(page, 'Sei uno scoiattolo!');
        await ctrl(page, 'c');
    }, status: 130, words: 'Quiz interrotto (Ctrl-C).' },
    { name: 'a tie of four: all four marked in the picture', answered: 'aabbccdd' },
    { name: 'all eight answers for E', answered: 'eeeeeeee' },
    { name: 'the result shared on a desktop: the picture saved, the text copied',
        check: (s, page, engine) => shared(page, engine) },
    { name: 'on a phone, the result shared through the system\'s share sheet', width: 360,
        check: (s, page) => shared(page, 'phone') },
    { name: 'a page whose first line differs from what the program writes shows the program\'s',
        url: 'altered.html', check: s => assert.ok(s.startsWith('Rispondi alle domande') && !s.includes('Rispondete'), s) },
    { name: 'a page with a line more than the program writes before it waits shows only what it wrote',
        url: 'longer.html', start: async page => {
            await until(page, () => !document.getElementById('hint').hidden);
            const s = await screen(page);
            assert.ok(s.endsWith(`${prompt}\n`) && !s.includes('Una riga in più'), s); // at the key wait
            await pressS(page);
        }, check: s => assert.ok(!s.includes('Una riga in più'), s) },
    ...keyboards.map(({ rule, name, keys }, i) => ({
        name: `on a phone, a tap starts; answers typed: ${name}`, rule, width: i === 0 ? 320 : 360,
        start: async page => {
            await tap(page);
            await waitFor(page, 'e) carogne');
            assert.equal(await page.evaluate(() => document.activeElement.id), 'answer');
        },
        answers: async page => {
            for (const [n, letter] of [...'abcdeabc'].entries()) {
                await waitFor(page, 'e) ', n + 1);
                await page.evaluate(replay, keys(letter));
            }
        },
        final: tap })),
    { name: 'on a phone, a tap at each key wait', rule: 'a tap', width: 360, start: tap, final: tap },
    { name: 'on a phone, a key of the keyboard at a key wait is one key, its text dropped', width: 360,
        rule: 'a key through an input method',
        start: page => page.evaluate(replay, keyboards[1].keys('x').slice(0, -2)) },
    { name: 'on a phone, the question and the field stay above the keyboard', width: 360, answers: async page => {
        await type(page, 'abcde');
        await waitFor(page, 'preferisci?');
        await page.evaluate(() => { // the keyboard takes 45 % of the height
            Object.defineProperty(window.visualViewport, 'height', { get: () => 740 * 0.55 });
            window.visualViewport.dispatchEvent(new Event('resize'));
        });
        await pause(100);
        const shown = await page.evaluate(() => [...window.chisei.transcript.querySelectorAll('[role=none]'),
            document.getElementById('answer')]
            .filter(e => e.getBoundingClientRect().top >= 0 && e.getBoundingClientRect().bottom <= 407)
            .map(e => e.textContent || e.id).join('\n'));
        assert.ok(shown.includes('Quale tra questi film preferisci?\n\na) Tentacoli') &&
            shown.endsWith('e) Le iene (di Borvaldini)\nanswer'), shown);
        await type(page, 'abc');
    } },
    // axe-core's rules (WCAG 2.2 A and AA, and its best practices) at the
    // intro, at question 1, at the results and once the run has ended.
    { name: 'an audit by axe finds nothing, 1280 px wide', engines: ['chromium'], size: [1280, 800], audit: true },
    { name: 'an audit by axe finds nothing, on a phone 360 px wide', width: 360, audit: true },
];

// What a completed run with these answers ends with: its last line, its
// result, and its picture's name and marked profiles.
const results = {
    abcdeabc: ['Sei uno scoiattolo!', { counts: [2, 2, 2, 1, 1], profiles: ['A', 'B', 'C'] }, 'Risultato: piovra 2, ' +
        'camion 2, scoiattolo 2, capra tibetana 1, iena 1; sei una piovra, un camion, uno scoiattolo',
    ['piovra', 'camion', 'scoiattolo']],
    aabbccdd: ['Sei una capra tibetana!', { counts: [2, 2, 2, 2, 0], profiles: ['A', 'B', 'C', 'D'] }, 'Risultato: ' +
        'piovra 2, camion 2, scoiattolo 2, capra tibetana 2, iena 0; sei una piovra, un camion, uno scoiattolo, una ' +
        'capra tibetana', ['piovra', 'camion', 'scoiattolo', 'capra tibetana']],
    eeeeeeee: ['SEI UNA IENA, COMPLIMENTI!', { counts: [0, 0, 0, 0, 8], profiles: ['E'] },
        'Risultato: piovra 0, camion 0, scoiattolo 0, capra tibetana 0, iena 8; sei una iena', ['iena']],
};
const shownResult = () => window.chisei.result.then(result => {
    const picture = document.getElementById('picture');
    return [result, picture.hidden ? null : picture.getAttribute('aria-label'),
        [...picture.querySelectorAll('[data-top] text:first-child')].map(e => e.textContent)];
});

// The share button pressed on a phone (a stand-in for the system's share
// sheet keeps what it is handed) or on a desktop (the end's line says that
// the PNG is saved and the text copied; chromium, served, saves it in a
// folder of the test's and lets its clipboard be read): on a phone, and in
// chromium, a PNG 1080 px wide or more, not of one colour, and the result
// in words. engine: phone, chromium, or another (file: chromium, the page
// opened as a file).
async function shared(page, engine) {
    const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'chisei-saved-')), saved = path.join(folder, 'chisei-risultato.png');
    if (engine === 'phone') await page.evaluate(() => Object.assign(navigator, { canShare: data => data.files?.length === 1,
        share: async data => (window.testShared = data) }));
    if (engine === 'chromium')
        await (await page.createCDPSession()).send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: folder });
    await (engine === 'phone' ? page.tap('#share') : page.click('#share'));
    if (engine !== 'phone') await until(page, () => document.getElementById('end-text').textContent ===
        'Immagine salvata: chisei-risultato.png; testo copiato negli appunti.');
    for (const end = Date.now() + deadline; engine === 'chromium' && !fs.existsSync(saved) && Date.now() < end;) await pause(50);
    const png = engine === 'chromium' ? fs.readFileSync(saved).toString('base64') : null;
    fs.rmSync(folder, { recursive: true });
    if (engine !== 'phone' && engine !== 'chromium') return;
    assert.deepEqual(await page.evaluate(async png => {
        const file = png ? new File([Uint8Array.from(atob(png), c => c.charCodeAt(0))], 'chisei-risultato.png',
            { type: 'image/png' }) : window.testShared.files[0];
        const image = await createImageBitmap(file), g = new OffscreenCanvas(image.width, image.height).getContext('2d');
        g.drawImage(image, 0, 0);
        const colours = new Set(new Uint32Array(g.getImageData(0, 0, image.width, image.height).data.buffer)).size;
        return [file.name, file.type, image.width >= 1080, colours > 1, png ? await navigator.clipboard.readText() :
            window.testShared.text];
    }, png), ['chisei-risultato.png', 'image/png', true, true,
        'Ho fatto il quiz «Chi sei?»: Sei una piovra! Sei un camion! Sei uno scoiattolo!']);
}

// Every row played, and every row of the keyboard's table played by a row.
test('the keyboard\'s table is the rows\' rules', () => {
    const source = fs.readFileSync(new URL('../../web/keyboard.mjs', import.meta.url), 'utf8');
    const table = [...source.matchAll(/^\/\/ \| ([^|]*?) *\|/gm)].map(m => m[1])
        .filter(rule => rule !== '' && rule !== 'row' && !rule.startsWith('-'));
    const rules = new Set(rows.map(row => row.rule).filter(Boolean));
    assert.deepEqual([...new Set(table)].sort(), [...rules].sort());
});

// Words broken across lines in the transcript; lines wrapped elsewhere than
// under their text (after a label such as "a) " they go on under the text
// that follows it); and whether the page, or the transcript, scrolls sideways.
function wrapping() {
    const broken = [], misaligned = [];
    const rects = (line, from, to) => {
        const range = document.createRange();
        range.setStart(line.firstChild, from);
        range.setEnd(line.firstChild, to);
        return [...range.getClientRects()];
    };
    for (const line of window.chisei.transcript.querySelectorAll('[role=none]')) {
        const text = line.textContent;
        for (const m of text.matchAll(/\S+/g))
            if (new Set(rects(line, m.index, m.index + m[0].length).map(r => r.top)).size > 1) broken.push(m[0]);
        if (text === '') continue;
        const starts = new Map(); // where each row of the line starts, by its top
        for (const r of rects(line, 0, text.length)) starts.set(r.top, Math.min(r.left, starts.get(r.top) ?? r.left));
        const label = /^[a-e]\) /.test(text) ? 3 : 0;
        const under = rects(line, label, label + 1)[0].left;
        if ([...starts.values()].slice(1).some(left => Math.abs(left - under) > 1)) misaligned.push(text);
    }
    const console = document.getElementById('console');
    return { broken, misaligned, sideways: document.documentElement.scrollWidth > window.innerWidth ||
        console.scrollWidth > console.clientWidth };
}

// One row's run in one browser.
async function play(browser, row, engine) {
    const page = await browser.newPage();
    try {
        if (row.width)
            await page.emulate({ ...KnownDevices['Pixel 5'], viewport: { width: row.width, height: 740,
                deviceScaleFactor: 3, isMobile: true, hasTouch: true } });
        if (row.size) await page.setViewport({ width: row.size[0], height: row.size[1] });
        const audit = row.audit ? moment => audited(page, moment) : () => {};
        const url = row.early ? 'early.html' : (row.url ?? '');
        await page.goto(row.file ? `file://${path.resolve(folder, 'chisei.html')}` : server.url + url);
        await waitFor(page, prompt); // the page's script has run (WebKit's driver returns before)
        await audit('the intro');
        await (row.start ?? pressS)(page);
        if (!row.stopsAtStart) {
            await waitFor(page, 'e) carogne');
            assert.equal(await page.$eval('#answer', e => e.value), '');
            assert.equal(await page.$eval('#answer', e => e.getAttribute('aria-describedby')), null); // the intro no more
            await audit('question 1');
            await (row.answers ?? (page => type(page, row.answered ?? 'abcdeabc')))(page);
        }
        const [last, ...result] = row.status === undefined ? results[row.answered ?? 'abcdeabc'] : [null, null, null, []];
        if (row.status === undefined) {
            const s = await waitFor(page, last);
            await audit('the results');
            if (!row.flood) {
                assert.equal(count(s, 'e) '), 8, s); // no question asked again
                assert.equal(count(s, prompt), 1, s); // the intro once, whether the page held it or not
                assert.equal(count(s, `${prompt}\n\n\n${q1}`), 1, s);
            }
            if (!row.typedAhead) {
                assert.equal(await exitWithin(page, 300), 'running'); // waiting for a key
                await until(page, () => !document.getElementById('hint').hidden);
                await (row.final ?? finalKey)(page);
            }
        }
        assert.equal(await exitWithin(page, deadline), row.status ?? 0);
        await until(page, words => !document.getElementById('end').hidden &&
            document.getElementById('end-text').textContent === words, { args: [row.words ?? 'Il quiz è finito.'] });
        await audit('the end');
        assert.deepEqual(await page.evaluate(shownResult), result); // read from the program's words, after a whole run
        if (row.width) {
            assert.deepEqual(await page.evaluate(wrapping), { broken: [], misaligned: [], sideways: false });
            // No suggestions: a phone's keyboard would hold keys back until a word is chosen.
            assert.deepEqual(await page.$eval('#answer', f => [f.autocomplete, f.getAttribute('autocorrect'),
                f.getAttribute('autocapitalize'), f.spellcheck]), ['off', 'off', 'off', false]);
        }
        if (!row.file) assert.deepEqual(await page.evaluate(() => window.testViolations), []);
        await row.check?.(await screen(page), page, engine);
    } finally {
        await page.close();
    }
}

// axe's violations of its rules for WCAG 2.2 A and AA and its best
// practices, on the page as it is at moment: none.
const axeSource = fs.readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');
async function audited(page, moment) {
    await page.evaluate(axeSource);
    const violations = await page.evaluate(() => window.axe.run(document, {
        runOnly: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'wcag22aa', 'best-practice'],
    }).then(result => result.violations.map(v =>
        `${v.id} (${v.impact}): ${v.help}: ${v.nodes.map(n => n.target.join(' ')).join(', ')}`)));
    assert.deepEqual(violations, [], `at ${moment}`);
}

// Every row in each browser it names, or all; the rows on a phone (width)
// need chromium's device emulation, touch and its input method events.
for (const engine of engines)
    for (const row of rows.filter(r => (r.engines ?? (r.width ? ['chromium'] : engines)).includes(engine)))
        test(`${engine}: ${row.name}`, () => play(browsers[engine], row, engine));

test('a screen reader finds whole lines and the field\'s Italian label', async () => {
    const page = await browsers.chromium.newPage();
    await page.goto(server.url);
    await pressS(page);
    await waitFor(page, 'e) carogne');
    const texts = [];
    const walk = node => {
        texts.push(`${node.role}:${node.name}`);
        node.children?.forEach(walk);
    };
    walk(await page.accessibility.snapshot());
    // (An option is read as it is written, its label and text together.)
    assert.ok(texts.includes(`StaticText:${q1}`) && texts.includes('StaticText:a) plancton') &&
        texts.includes('textbox:La tua risposta'), texts.join('\n'));
    await page.close();
});

// (Firefox's WebDriver BiDi cannot switch JavaScript off for one page.)
test('without JavaScript the page shows the first lines and says what the quiz needs; without ' +
    'WebAssembly it says so', async () => {
    const page = await browsers.chromium.newPage();
    await page.setJavaScriptEnabled(false);
    for (const url of [server.url, `file://${path.resolve(folder, 'chisei.html')}`]) {
        await page.goto(url);
        const shown = await page.$eval('#transcript', t => t.innerText);
        assert.ok(shown.includes('Alla fine apparirà il tuo profilo') && shown.includes(prompt), shown);
        assert.match(await page.$eval('body', b => b.innerText), /serve JavaScript/);
        assert.equal(await page.$eval('#answer', e => e.getBoundingClientRect().height), 0);
    }
    await page.setJavaScriptEnabled(true);
    await page.evaluateOnNewDocument(() => delete window.WebAssembly);
    await page.goto(server.url);
    await until(page, () => /serve un browser che esegua WebAssembly/.test(document.getElementById('end-text').textContent));
    assert.equal(await page.$eval('#again', e => e.hidden), true);
    await page.close();
});
