// Takes the README's pictures of the page in headless chromium: doc/web.png
// at a desktop size, at question 1 with an answer typed; doc/web-phone.png
// on a phone 360 px wide, at question 6 with an answer typed; and
// doc/web-phone-end.png there, at the end of a quiz, its result shown.
// Usage: node doc/screenshot.mjs build/web doc
import path from 'node:path';
import { KnownDevices } from 'puppeteer-core';
import { launch, serve, until } from '../tests/web/browsers.mjs';

const [folder = 'build/web', out = 'doc'] = process.argv.slice(2);
const server = await serve(folder);
const browser = await launch();

// (shown: a text on screen, or 'picture': the end, with its words.)
async function shoot(file, setUp, answers, typed, shown) {
    const page = await browser.newPage();
    await setUp(page);
    await page.goto(server.url);
    const onScreen = text => until(page, t => window.chisei?.transcript.textContent.includes(t) ||
        (t === 'picture' && document.getElementById('end-text').textContent !== ''), { args: [text] });
    await onScreen('(batti un tasto per iniziare)');
    await page.keyboard.press('s');
    await page.keyboard.type(answers);
    await page.keyboard.type(typed);
    await onScreen(shown);
    await new Promise(resolve => setTimeout(resolve, 300)); // a frame or two, for the caret
    await page.screenshot({ path: path.join(out, file) });
    await page.close();
}

await shoot('web.png', page => page.setViewport({ width: 760, height: 420 }), '', 'c', 'e) carogne');
const phone = page => page.emulate({ ...KnownDevices['Pixel 5'],
    viewport: { width: 360, height: 740, deviceScaleFactor: 1.5, isMobile: true, hasTouch: true } });
await shoot('web-phone.png', phone, 'a\nb\nc\nd\ne\n', 'c', 'e) Le iene (di');
await shoot('web-phone-end.png', phone, 'aabbccdd\n', 'q', 'picture');
await browser.close();
server.close();
