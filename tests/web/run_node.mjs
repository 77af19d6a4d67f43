// Runs the web build of chisei under node, as its page would, with node's
// standard input as the answer input and standard output as the screen:
// the same pipe cases then run against it as against the other builds.
// There is no keyboard here, so the key waits go straight through.
// Usage: node run_node.mjs path/to/chisei.js   (its chisei.wasm beside it)
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { exitStatus } from '../../web/program.mjs';

const program = path.resolve(process.argv[2]);
const createChisei = createRequire(import.meta.url)(program);
const wasmBinary = fs.readFileSync(program.replace(/\.js$/, '.wasm'));

// A descriptor handed over non-blocking answers EAGAIN: wait a moment.
function pause(ms) {
    Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, ms);
}

const host = {
    write(bytes) {
        for (let done = 0; done < bytes.length;) {
            try {
                done += fs.writeSync(1, bytes, done);
            } catch (e) {
                if (e.code !== 'EAGAIN') return false;
                pause(10);
            }
        }
        return true;
    },
    async read(size) {
        const buf = Buffer.alloc(size);
        for (;;) {
            try {
                return buf.subarray(0, fs.readSync(0, buf, 0, size, null));
            } catch (e) {
                if (e.code !== 'EAGAIN') return new Uint8Array(0); // a read error ends it
                pause(10);
            }
        }
    },
    async key() {
        return -1;
    },
};

const chisei = await createChisei({ host, wasmBinary });
process.exitCode = await exitStatus(chisei);
