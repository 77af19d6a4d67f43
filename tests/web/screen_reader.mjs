// A real screen reader, as a blind person uses it: Orca on a display of its
// own (Xvfb), with the accessibility bus on a private D-Bus session, and a
// private speech-dispatcher whose synthesizer (speech_module.mjs) writes
// down what Orca would have said instead of saying it. A browser opens the
// page there, and keys are pressed on the X display (xdotool), as by a
// person. (Not xdotool's windowfocus: it puts Orca in browse mode, where
// letters are its own commands.)
//
//   const reader = await ScreenReader.start();
//   await reader.open('firefox', url);  // until the page has been announced
//   reader.press('s');                  // a key
//   await reader.hear('e) carogne', from);  // until said, after utterance from
//   await reader.quiet();               // until nothing is said for a while
//   reader.said();                      // every utterance so far, in order
//   await reader.stop();
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const pause = ms => new Promise(resolve => setTimeout(resolve, ms));

// What a reader started, each in a process group of its own: gone with this
// process, however it ends (a test runner's time limit sends SIGTERM).
const started = new Set();
const killGroup = pid => {
    try {
        process.kill(-pid, 'SIGKILL');
    } catch {}
    started.delete(pid);
};
process.on('exit', () => started.forEach(killGroup));
for (const signal of ['SIGTERM', 'SIGINT', 'SIGHUP']) process.on(signal, () => process.exit(128 + os.constants.signals[signal]));

// Text as compared: its words, in lower case, without punctuation.
export const words = text => text.toLowerCase().replace(/[^\p{L}\p{N}]+/gu, ' ').trim();

export class ScreenReader {
    #dir;
    #env;
    #children = [];
    #log;
    #display;

    static async start() {
        const reader = new ScreenReader();
        try {
            await reader.#start();
        } catch (error) {
            await reader.stop(); // what did start would keep this process alive
            throw error;
        }
        return reader;
    }

    // Every utterance so far, in order, as far as it was said: what Orca
    // handed the synthesizer, but for what was cut off.
    said() {
        const lines = this.#lines(), said = [];
        lines.forEach((line, i) => {
            if (!line.startsWith('SAY ')) return;
            const cut = /^CUT (\d+)$/.exec(lines[i + 1] ?? '');
            said.push(cut ? line.slice(4, 4 + Number(cut[1])) : line.slice(4));
        });
        return said;
    }

    #lines() {
        return fs.existsSync(this.#log) ? fs.readFileSync(this.#log, 'utf8').split('\n').filter(Boolean) : [];
    }

    // Until nothing has been said, nor is being said, for ms.
    async quiet(ms = 1500, limitMs = 60000) {
        const end = Date.now() + limitMs;
        for (let size = -1, since = 0; Date.now() < end; await pause(50)) {
            const now = this.#lines().length;
            if (now !== size || this.#speaking()) [size, since] = [now, Date.now()];
            else if (Date.now() - since >= ms) return;
        }
        throw new Error('the screen reader never went quiet');
    }

    // Until text has been said (its words, in an utterance after the first
    // from utterances), and then quiet.
    async hear(text, from = 0, limitMs = 60000) {
        const end = Date.now() + limitMs;
        while (!this.said().slice(from).some(utterance => words(utterance).includes(words(text)))) {
            if (Date.now() > end) throw new Error(`never heard: ${text}\n${this.said().join('\n')}`);
            await pause(50);
        }
        await this.quiet();
    }

    // A key pressed on the display, as a person presses it.
    press(key) {
        this.#run('xdotool', ['key', '--clearmodifiers', key]);
    }

    // A browser (firefox or chromium) with a fresh profile, showing url;
    // until it is on the display and the reader has gone quiet. The browser
    // starts on an empty page of its own and is then handed url, as by
    // another program, in the tab shown. (Started with url, its window can
    // become active while the page loads, after the page has focused its
    // field, and Orca 48 then takes that focus without saying it; about:blank
    // would keep the focus in the address bar, away from the page.)
    async open(browser, url) {
        const profile = path.join(this.#dir, `${browser}-profile`);
        fs.mkdirSync(profile, { recursive: true });
        let args;
        if (browser === 'firefox') {
            fs.writeFileSync(path.join(profile, 'user.js'), [
                'user_pref("accessibility.force_disabled", 0);',
                'user_pref("browser.shell.checkDefaultBrowser", false);',
                'user_pref("datareporting.policy.dataSubmissionEnabled", false);',
                'user_pref("browser.aboutwelcome.enabled", false);',
                'user_pref("trailhead.firstrun.didSeeAboutWelcome", true);',
                'user_pref("browser.startup.homepage_override.mstone", "ignore");',
                'user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);',
                // (Else Firefox 140 offers to translate the Italian page, or
                // loads a new tab's page in the background, and Orca reads
                // that one from then on, in browse mode.)
                'user_pref("browser.translations.enable", false);',
                'user_pref("browser.newtab.preload", false);',
                'user_pref("browser.link.open_newwindow.override.external", 1);',
            ].join('\n'));
            args = ['/usr/bin/firefox-esr', ['--profile', profile, '--width', '1280', '--height', '1000']];
        } else {
            args = ['/usr/bin/chromium', ['--force-renderer-accessibility', '--no-sandbox', '--disable-gpu',
                '--no-first-run', '--disable-background-networking', '--disable-component-update',
                '--disable-sync', '--disable-dev-shm-usage', '--password-store=basic', `--user-data-dir=${profile}`,
                '--window-position=0,0', '--window-size=1280,1000']];
        }
        this.#spawn(args[0], [...args[1], 'data:text/html,<title>-</title>']);
        await this.#waitFor(() => this.#run('xdotool', ['search', '--onlyvisible', '--class', browser], true), 60000,
            `${browser} on the display`);
        this.#run('xdotool', ['mousemove', '640', '500']);
        await this.quiet(2500, 90000);
        this.#spawn(args[0], [...args[1], url]);
        await this.quiet(2500, 90000);
    }

    async stop() {
        for (const child of this.#children.reverse()) killGroup(child.pid);
        await pause(200);
        if (this.#dir) fs.rmSync(this.#dir, { recursive: true, force: true });
    }

    async #start() {
        this.#dir = fs.mkdtempSync(path.join(os.tmpdir(), 'chisei-reader-'));
        const run = path.join(this.#dir, 'run'), home = path.join(this.#dir, 'home');
        fs.mkdirSync(run, { mode: 0o700 });
        fs.mkdirSync(home);
        this.#log = path.join(this.#dir, 'said.txt');
        this.#display = await this.#startX();
        this.#env = { PATH: process.env.PATH ?? '/usr/bin:/bin', HOME: home, XDG_RUNTIME_DIR: run,
            DISPLAY: this.#display, LANG: 'C.UTF-8', LC_ALL: 'C.UTF-8', GNOME_ACCESSIBILITY: '1',
            GTK_MODULES: 'gail:atk-bridge', NO_AT_BRIDGE: '0', DBUS_SESSION_BUS_ADDRESS: `unix:path=${run}/bus`,
            MOZ_CRASHREPORTER_DISABLE: '1', CHISEI_SPEECH_LOG: this.#log };
        this.#spawn('dbus-daemon', ['--session', '--nofork', `--address=unix:path=${run}/bus`]);
        await this.#waitFor(() => fs.existsSync(`${run}/bus`), 10000, 'the D-Bus session');
        this.#spawn('/usr/libexec/at-spi-bus-launcher', ['--launch-immediately']);
        await this.#waitFor(() => this.#run('dbus-send', ['--session', '--print-reply', '--dest=org.a11y.Bus',
            '/org/a11y/bus', 'org.a11y.Bus.GetAddress'], true), 10000, 'the accessibility bus');
        this.#run('dbus-send', ['--session', '--dest=org.a11y.Bus', '/org/a11y/bus',
            'org.freedesktop.DBus.Properties.Set', 'string:org.a11y.Status', 'string:IsEnabled',
            'variant:boolean:true']);
        // Orca finds no speech if it comes first, and says nothing ever. (Under
        // load, about one speech-dispatcher in forty never made its socket.)
        const socket = path.join(run, 'speech-dispatcher', 'speechd.sock');
        for (let tries = 3; !fs.existsSync(socket);) {
            const speech = this.#startSpeech(socket);
            try {
                await this.#waitFor(() => fs.existsSync(socket), 20000, 'speech-dispatcher');
            } catch (error) {
                killGroup(speech.pid);
                if (--tries === 0) throw error;
            }
        }
        const prefs = path.join(this.#dir, 'orca');
        fs.mkdirSync(prefs);
        const args = ['-u', prefs, '-d', 'braille', ...(process.env.ORCA_DEBUG ? ['--debug-file', process.env.ORCA_DEBUG] : [])];
        // Orca runs once a user: it ends at once if another is running (a
        // second suite at the same time), so wait for that one to end.
        const end = Date.now() + 600000;
        for (let on = false; !on;) {
            if (Date.now() > end) throw new Error('never ready: Orca');
            await this.#waitFor(() => !this.#run('pgrep', ['-u', String(process.getuid()), '-x', 'orca'], true),
                end - Date.now(), 'the end of another Orca of this user');
            let ended = false;
            this.#spawn('orca', args).on('exit', () => (ended = true));
            await this.#waitFor(() => (on = this.said().some(line => /screen reader on/i.test(line))) || ended,
                60000, 'Orca');
        }
    }

    // A private speech-dispatcher, listening on socket, whose only
    // synthesizer writes down what it is given (speech_module.mjs).
    #startSpeech(socket) {
        const conf = path.join(this.#dir, 'speechd'), modules = path.join(conf, 'modules');
        fs.mkdirSync(modules, { recursive: true });
        fs.writeFileSync(path.join(modules, 'sd_capture'), `#!/bin/sh\nexec '${process.execPath}' ` +
            `'${fileURLToPath(new URL('speech_module.mjs', import.meta.url))}' "$@"\n`, { mode: 0o755 });
        fs.writeFileSync(path.join(conf, 'speechd.conf'), ['AddModule "capture" "sd_capture" "capture.conf"',
            'DefaultModule capture', 'AudioOutputMethod "alsa"', 'AudioALSADevice "null"', ''].join('\n'));
        fs.writeFileSync(path.join(modules, 'capture.conf'), '');
        fs.mkdirSync(path.dirname(socket), { recursive: true });
        return this.#spawn('speech-dispatcher', ['-s', '-t', '0', '-C', conf, '-m', modules, '-S', socket]);
    }

    // Whether the synthesizer is saying something now.
    #speaking() {
        const lines = this.#lines();
        return lines.length > 0 && lines.at(-1).startsWith('SAY ');
    }

    // Xvfb on a display it chooses itself: its name, once it is up.
    #startX() {
        const x = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
            { detached: true, stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
        this.#children.push(x);
        started.add(x.pid);
        let said = '';
        return new Promise((resolve, reject) => {
            x.stdio[3].on('data', data => (said += data) && said.endsWith('\n') && resolve(`:${said.trim()}`));
            x.on('exit', () => reject(new Error('Xvfb did not start')));
        });
    }

    #spawn(command, args) {
        const child = spawn(command, args, { env: this.#env, detached: true, stdio: 'ignore' });
        this.#children.push(child);
        started.add(child.pid);
        return child;
    }

    #run(command, args, quietly = false) {
        const result = spawnSync(command, args, { env: this.#env, stdio: 'pipe', timeout: 10000 });
        if (result.status !== 0 && !quietly)
            throw new Error(`${command} ${args.join(' ')}: ${result.stderr?.toString() ?? result.error}`);
        return result.status === 0;
    }

    async #waitFor(ready, limitMs, what) {
        for (const end = Date.now() + limitMs; !ready(); await pause(100))
            if (Date.now() > end) throw new Error(`never ready: ${what}`);
    }
}

