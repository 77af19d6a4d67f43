// Debian's chromium and firefox-esr, headless, and a static server on
// loopback for the page's folder: what the browser tests, the benchmark and
// the screenshot share.
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';
import puppeteer from 'puppeteer-core';

const types = { '.html': 'text/html', '.mjs': 'text/javascript', '.js': 'text/javascript',
    '.css': 'text/css', '.txt': 'text/plain' };

// Serves folder on a free loopback port: { url, close(), sent }. With gzip,
// every file goes out gzipped, as a real host sends it, and sent counts the
// bytes of the bodies sent; pages adds files by path ('/plain.html': text).
export async function serve(folder, { gzip = false, pages = {} } = {}) {
    const served = { sent: 0 };
    const server = http.createServer((req, res) => {
        const name = new URL(req.url, 'http://localhost').pathname.replace(/\/$/, '/index.html');
        const file = path.join(folder, path.normalize(name));
        const reply = (err, data) => {
            const headers = { 'Content-Type': types[path.extname(file)] ?? 'application/octet-stream' };
            if (gzip && !err) {
                data = zlib.gzipSync(data, { level: 9 });
                headers['Content-Encoding'] = 'gzip';
            }
            served.sent += err ? 0 : data.length;
            res.writeHead(err ? 404 : 200, headers);
            res.end(err ? '' : data);
        };
        if (name in pages) reply(null, Buffer.from(pages[name]));
        else fs.readFile(file, reply);
    });
    await new Promise(resolve => server.listen(0, '127.0.0.1', resolve));
    return Object.assign(served, {
        url: `http://127.0.0.1:${server.address().port}/`,
        close: () => server.close(),
    });
}

// Chromium, or Firefox (driven over WebDriver BiDi), with a profile of its
// own, removed again by close(). Firefox lets a page write its clipboard
// without a click first (its preference for tests), as chromium does once
// a test grants the permission.
export async function launch(engine = 'chromium') {
    if (engine === 'firefox')
        return puppeteer.launch({ browser: 'firefox', executablePath: '/usr/bin/firefox-esr',
            extraPrefsFirefox: { 'dom.events.testing.asyncClipboard': true } });
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'chisei-chromium-'));
    const browser = await puppeteer.launch({
        executablePath: '/usr/bin/chromium', userDataDir: profile,
        args: ['--no-sandbox', '--disable-dev-shm-usage', '--disable-gpu', '--no-first-run',
            '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    });
    const close = browser.close.bind(browser);
    browser.close = async () => {
        await close();
        fs.rmSync(profile, { recursive: true, force: true });
    };
    return browser;
}
