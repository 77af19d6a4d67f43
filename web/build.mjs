// Puts the web page together as one HTML file that needs nothing else: the
// page's script with the program's glue (chisei.js) bundled and minified by
// esbuild, its style minified by esbuild, the program's WebAssembly
// (chisei.wasm, beside chisei.js) as the text of a data block, and what the
// program writes before it first waits, as the page's transcript shows it,
// each written into web/index.html at the mark that holds its place. Opened
// from any static host or as a file, it loads nothing from elsewhere, and
// shows the program's first lines before its script has run.
// Usage: node web/build.mjs NPM_DIR CHISEI_JS OUTPUT.html...
//   NPM_DIR: where package-lock.json's esbuild is installed (node_modules)
import crypto from 'node:crypto';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { exitStatus } from './program.mjs';
import { asLines } from './transcript.mjs';

const [npmDir, program, ...outputs] = process.argv.slice(2);
if (!npmDir || !program || outputs.length === 0) {
    console.error('usage: node web/build.mjs NPM_DIR CHISEI_JS OUTPUT.html...');
    process.exit(2);
}
const esbuild = createRequire(path.resolve(npmDir, 'package.json'))('esbuild');
const web = path.dirname(fileURLToPath(import.meta.url));
const wasmBinary = fs.readFileSync(program.replace(/\.js$/, '.wasm'));

// `import createChisei from 'chisei'` is the program, as built.
const programPlugin = {
    name: 'chisei',
    setup(build) {
        build.onResolve({ filter: /^chisei$/ }, () => ({ path: path.resolve(program) }));
    },
};

async function bundle(entry, options) {
    const result = await esbuild.build({
        entryPoints: [path.join(web, entry)],
        bundle: true,
        minify: true,
        write: false,
        legalComments: 'none',
        logLevel: 'warning',
        ...options,
    });
    return result.outputFiles[0].text.trim();
}

const script = await bundle('page.mjs', {
    format: 'iife',
    platform: 'browser',
    target: 'es2022',
    plugins: [programPlugin],
    // Reached only when the program runs under node, never in a page.
    external: ['fs', 'path'],
});
const style = await bundle('page.css', {});
// The control characters an HTML page may not hold (all but tab and line
// feed); the script's, in its strings, are written as escapes.
const control = /[\0-\x08\x0b-\x1f\x7f-\x9f]/;
const escaped = script.replace(new RegExp(control, 'g'), c => `\\x${c.charCodeAt(0).toString(16).padStart(2, '0')}`);

// The program run once, with no input: what it writes until it first waits
// for a key or a line (or ends).
async function firstOutput() {
    const createChisei = createRequire(import.meta.url)(path.resolve(program));
    const decoder = new TextDecoder();
    let text = '', waits;
    const waited = new Promise(resolve => (waits = resolve));
    const never = () => (waits(), new Promise(() => {}));
    const host = { write: bytes => ((text += decoder.decode(bytes, { stream: true })), true), read: never, key: never };
    const chisei = await createChisei({ host, wasmBinary });
    await Promise.race([waited, exitStatus(chisei)]);
    return text;
}

// Text as the transcript shows it (transcript.mjs): one block of lines, the
// last one marked if it has no line end yet. The block describes the text
// field until the quiz starts.
function asBlock(text) {
    const lines = text.split('\n');
    const open = lines.at(-1) !== '';
    if (!open) lines.pop();
    return lines.length === 0 ? '' : `<div role="group" id="intro">${asLines(lines, open)}</div>`;
}
const intro = asBlock(await firstOutput());

// The WebAssembly as the text of the page's data block (run.mjs reads it
// back): byte b as the character b, but for the control characters, which
// have no place in an HTML page, and the < that could end the block: those
// are the character 0x100 + b.
// (In slices: a call takes only so many arguments.)
const special = b => b < 0x20 || (b >= 0x7f && b < 0xa0) || b === 0x3c;
const codes = Array.from(wasmBinary, b => (special(b) ? 0x100 + b : b));
let wasmText = '';
for (let i = 0; i < codes.length; i += 8192) wasmText += String.fromCharCode(...codes.slice(i, i + 8192));

// What the page may load and run: its own script and styles (page.css, and
// the one index.html holds for a browser without JavaScript), known by their
// hashes, the WebAssembly that the script compiles, and its icon; nothing
// else, from nowhere. (Given in the page, since a file has no headers.)
// The script is a module, run once the page has been read: a plain script
// there, under a policy, held back the intro's first paint on a phone's CPU
// (by 50 to 75 ms in chromium, against none without one).
let html = fs.readFileSync(path.join(web, 'index.html'), 'utf8');
const hash = text => `'sha256-${crypto.createHash('sha256').update(text).digest('base64')}'`;
const styles = [style, ...[...html.matchAll(/<style>([^<]+)<\/style>/g)].map(m => m[1])].map(hash);
const policy = `default-src 'none'; script-src ${hash(escaped)} 'wasm-unsafe-eval'; ` +
    `style-src ${styles.join(' ')}; img-src data:; base-uri 'none'; form-action 'none'`;

// Each inlined text in place of its mark; neither may end its element early.
for (const [mark, text, tag] of [['<!-- policy -->', policy, null], ['<!-- page.css -->', style, 'style'],
    ['<!-- intro -->', intro, null], ['<!-- chisei.wasm -->', wasmText, 'script'],
    ['<!-- page.mjs -->', escaped, 'script']]) {
    if (html.split(mark).length !== 2) throw new Error(`index.html must hold ${mark} once`);
    if (tag && text.toLowerCase().includes(`</${tag}`)) throw new Error(`the ${tag} holds </${tag}`);
    html = html.replace(mark, () => text);
}
if (control.test(html)) throw new Error('the page holds a control character');
for (const output of outputs) {
    fs.mkdirSync(path.dirname(output), { recursive: true });
    fs.writeFileSync(output, html);
}
