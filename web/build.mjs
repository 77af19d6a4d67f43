// Puts the web page together as one HTML file that needs nothing else: the
// page's script with the program (chisei.js, its WebAssembly inside) bundled
// and minified by esbuild, and its style minified by esbuild, each written
// into web/index.html at the mark that holds its place. Opened from any
// static host or as a file, it loads nothing from elsewhere.
// Usage: node web/build.mjs NPM_DIR CHISEI_JS OUTPUT.html...
//   NPM_DIR: where package-lock.json's esbuild is installed (node_modules)
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const [npmDir, program, ...outputs] = process.argv.slice(2);
if (!npmDir || !program || outputs.length === 0) {
    console.error('usage: node web/build.mjs NPM_DIR CHISEI_JS OUTPUT.html...');
    process.exit(2);
}
const esbuild = createRequire(path.resolve(npmDir, 'package.json'))('esbuild');
const web = path.dirname(fileURLToPath(import.meta.url));

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
    target: 'es2020',
    plugins: [programPlugin],
    // Reached only when the program runs under node, never in a page.
    external: ['fs', 'path'],
    // The page fetches nothing: the program's WebAssembly is inside it, and
    // is taken from there at once rather than fetched from its data: URL.
    define: { fetch: 'undefined' },
});
const style = await bundle('page.css', {});

// Each inlined text in place of its mark; neither may end its element early.
let html = fs.readFileSync(path.join(web, 'index.html'), 'utf8');
for (const [mark, text, tag] of [['<!-- page.css -->', style, 'style'], ['<!-- page.mjs -->', script, 'script']]) {
    if (html.split(mark).length !== 2) throw new Error(`index.html must hold ${mark} once`);
    if (text.toLowerCase().includes(`</${tag}`)) throw new Error(`the ${tag} holds </${tag}`);
    html = html.replace(mark, () => text);
}
for (const output of outputs) {
    fs.mkdirSync(path.dirname(output), { recursive: true });
    fs.writeFileSync(output, html);
}
