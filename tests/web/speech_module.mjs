// A synthesizer for speech-dispatcher that writes down what it is given
// instead of saying it: an output module (speech-dispatcher's protocol for
// them, on standard input and output), which takes as long to "say" a text
// as a voice would and can be cut off meanwhile, as a voice is.
//   node speech_module.mjs CONFIG   (CHISEI_SPEECH_LOG: the file it writes to)
// Each text goes to the file as "SAY text", then "END" once said, or
// "CUT n" when it was stopped after n of its characters.
import fs from 'node:fs';
import readline from 'node:readline';

const log = process.env.CHISEI_SPEECH_LOG;
const charactersPerSecond = 60; // a quick voice
const reply = text => process.stdout.write(`${text}\n`);
const note = text => fs.appendFileSync(log, `${text}\n`);

// The text of an SSML document, as it would be said.
function spoken(ssml) {
    const entities = { amp: '&', lt: '<', gt: '>', quot: '"', apos: "'" };
    return ssml.replace(/<[^>]*>/g, '').replace(/&(\w+);/g, (all, name) => entities[name] ?? all)
        .replace(/\s+/g, ' ').trim();
}

let speaking = null; // { text, started, timer }

function say(text) {
    reply('200 OK SPEAKING');
    reply('701 BEGIN');
    note(`SAY ${text}`);
    const started = Date.now();
    const timer = setTimeout(() => {
        speaking = null;
        note('END');
        reply('702 END');
    }, (text.length * 1000) / charactersPerSecond);
    speaking = { text, started, timer };
}

function stop(event) {
    if (!speaking) return;
    clearTimeout(speaking.timer);
    const heard = Math.floor(((Date.now() - speaking.started) * charactersPerSecond) / 1000);
    note(`CUT ${Math.min(heard, speaking.text.length)}`);
    speaking = null;
    reply(event);
}

// What a command's lines up to the closing dot are for, and the replies
// before and after them.
const blocks = {
    SPEAK: ['202 OK RECEIVING MESSAGE', lines => say(spoken(lines.join('\n')))],
    CHAR: ['202 OK RECEIVING MESSAGE', lines => say(lines.join(''))],
    KEY: ['202 OK RECEIVING MESSAGE', lines => say(lines.join(''))],
    SOUND_ICON: ['202 OK RECEIVING MESSAGE', () => say('')],
    SET: ['203 OK RECEIVING SETTINGS', () => reply('203 OK SETTINGS RECEIVED')],
    AUDIO: ['207 OK RECEIVING AUDIO SETTINGS', () => reply('203 OK AUDIO INITIALIZED')],
    LOGLEVEL: ['207 OK RECEIVING LOGLEVEL SETTINGS', () => reply('203 OK LOGLEVEL SET')],
};

let block = null; // [command's action, lines so far]
readline.createInterface({ input: process.stdin }).on('line', line => {
    if (block) {
        if (line === '.') {
            const [done, lines] = block;
            block = null;
            done(lines);
        } else {
            block[1].push(line.startsWith('..') ? line.slice(1) : line);
        }
        return;
    }
    const command = line.trim().toUpperCase();
    if (command in blocks) {
        reply(blocks[command][0]);
        block = [blocks[command][1], []];
    } else if (command === 'INIT') {
        reply('299-capture: ready');
        reply('299 OK LOADED SUCCESSFULLY');
    } else if (command === 'LIST VOICES') {
        for (const language of ['it', 'en']) reply(`200-${language}\t${language}\tnone`);
        reply('200 OK VOICE LIST SENT');
    } else if (command.startsWith('DEBUG')) {
        reply('200 OK DEBUGGING OFF');
    } else if (command === 'STOP') {
        stop('703 STOP');
    } else if (command === 'PAUSE') {
        stop('704 PAUSE');
    } else if (command === 'QUIT') {
        reply('210 OK QUIT');
        process.exit(0);
    } else {
        reply('300 ERR UNKNOWN COMMAND');
    }
}).on('close', () => process.exit(0));
