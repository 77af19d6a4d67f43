// Takes doc/web.png: the page in headless chromium at question 1, with an
// answer typed. Usage: node doc/screenshot.mjs build/web doc/web.png
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const [folder = 'build/web', out = 'doc/web.png'] = process.argv.slice(2);
const types = { '.html': 'text/html', '.mjs': 'text/javascript', '.js': 'text/javascript',
    '.css': 'text/css' };
const server = http.createServer((req, res) => {
    const file = path.join(folder, req.url === '/' ? 'index.html' : req.url);
    fs.readFile(file, (err, data) => {
        res.writeHead(err ? 404 : 200, { 'Content-Type': types[path.extname(file)] ?? 'text/plain' });
        res.end(data);
    });
});
await new Promise(resolve => server.listen(0, '127.0.0.1', resolve));
const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--no-first-run'],
});
const page = await browser.newPage();
await page.setViewport({ width: 760, height: 400 });
await page.goto(`http://127.0.0.1:${server.address().port}/`);
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
