// Debian's chromium and firefox-esr, headless, WebKitGTK's MiniBrowser
// (through its WebDriver, on a display such as xvfb-run's), and a static
// server on loopback for the page's folder: what the browser tests, the
// benchmark and the screenshot share.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';
import puppeteer from 'puppeteer-core';
import webdriver from 'selenium-webdriver';

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
// own, removed again by close(), or WebKit (see webkit()). Firefox lets a
// page write its clipboard without a click first (its preference for
// tests), as chromium does once a test grants the permission.
export async function launch(engine = 'chromium') {
    if (engine === 'webkit') return webkit();
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

// Until fn(...args), run in the page, gives what ok takes (any true value
// unless told): that value; fails after ms, with what was sought (what) and
// the last value. Asked from here, with page.evaluate, which every engine
// runs under the page's policy; puppeteer's waitForFunction makes its
// predicate inside the page with Function(), which the policy may refuse
// (Firefox 140 does).
export async function until(page, fn, { args = [], ok = Boolean, ms = 10000, what = `${fn}` } = {}) {
    for (const end = Date.now() + ms; ; await new Promise(resolve => setTimeout(resolve, 20))) {
        const value = await page.evaluate(fn, ...args);
        if (ok(value)) return value;
        if (Date.now() > end) throw new Error(`never so within ${ms} ms: ${what}\n${value}`);
    }
}

// WebKitGTK's MiniBrowser through WebKitWebDriver (W3C WebDriver, driven by
// selenium-webdriver), with as much of puppeteer's browser and page as the
// browser tests use: newPage() opens a tab; a page has goto, evaluate,
// $eval, click, keyboard (type, press, down, up; puppeteer's key names) and
// close.
async function webkit() {
    const { Builder, By, Key } = webdriver;
    const port = await new Promise(resolve => {
        const probe = http.createServer().listen(0, '127.0.0.1', () => {
            const { port } = probe.address();
            probe.close(() => resolve(port));
        });
    });
    const server = spawn('WebKitWebDriver', [`--port=${port}`], { stdio: 'ignore' });
    const url = `http://127.0.0.1:${port}`;
    for (const end = Date.now() + 10000; ; await new Promise(resolve => setTimeout(resolve, 100))) {
        if (await fetch(`${url}/status`).then(r => r.ok, () => false)) break;
        if (Date.now() > end) throw new Error('WebKitWebDriver does not answer');
    }
    // (In the machine's multiarch folder, /usr/lib/x86_64-linux-gnu for one.)
    const binary = fs.readdirSync('/usr/lib').map(dir => `/usr/lib/${dir}/webkit2gtk-4.1/MiniBrowser`)
        .find(file => fs.existsSync(file));
    const driver = await new Builder().usingServer(url).withCapabilities({
        browserName: 'MiniBrowser', 'webkitgtk:browserOptions': { binary, args: ['--automation'] },
    }).build();
    const first = await driver.getWindowHandle();
    const keys = { Enter: Key.ENTER, Backspace: Key.BACK_SPACE, Tab: Key.TAB, Escape: Key.ESCAPE,
        Control: Key.CONTROL, Shift: Key.SHIFT, ArrowUp: Key.ARROW_UP, Home: Key.HOME };
    const key = name => keys[name] ?? name;
    const run = (fn, ...args) => driver.executeScript(`return (${fn}).apply(null, arguments)`, ...args);
    const page = {
        goto: address => driver.get(address),
        evaluate: run,
        $eval: (selector, fn) => run(`s => (${fn})(document.querySelector(s))`, selector),
        click: selector => driver.findElement(By.css(selector)).click(),
        keyboard: {
            type: text => driver.actions().sendKeys(text).perform(),
            press: name => driver.actions().keyDown(key(name)).keyUp(key(name)).perform(),
            down: name => driver.actions().keyDown(key(name)).perform(),
            up: name => driver.actions().keyUp(key(name)).perform(),
        },
        async close() {
            await driver.close();
            await driver.switchTo().window(first);
        },
    };
    return {
        async newPage() {
            await driver.switchTo().newWindow('tab');
            return page;
        },
        async close() {
            await driver.quit().catch(() => {});
            server.kill();
        },
    };
}
