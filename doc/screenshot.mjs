// Takes doc/web.png: the page in headless chromium at question 1, with an
// answer typed. Usage: node doc/screenshot.mjs build/web doc/web.png
import { launch, serve } from '../tests/web/chromium.mjs';

const [folder = 'build/web', out = 'doc/web.png'] = process.argv.slice(2);
const server = await serve(folder);
const browser = await launch();
const page = await browser.newPage();
await page.setViewport({ width: 760, height: 400 });
await page.goto(server.url);
const onScreen = text => page.waitForFunction(t => document.body.textContent.includes(t), {}, text);
await onScreen('(batti un tasto per iniziare)');
await page.keyboard.press('s');
await onScreen('e) carogne putrefatte');
await page.keyboard.type('c');
await page.evaluate(() => new Promise(resolve => window.chisei.terminal.write('', resolve)));
await new Promise(resolve => setTimeout(resolve, 200)); // a frame or two, for the cursor
await page.screenshot({ path: out });
await browser.close();
server.close();
