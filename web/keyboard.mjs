// The keyboard: the browser's events turned into a terminal's keys and
// lines for the line discipline. While the program reads a line, the text
// field is the line's editor and Enter delivers it. Otherwise (a key wait,
// or before the program is ready) a key is a terminal's key: a key wait
// takes it at once, and before the program is ready it waits in order.
//
// The orders of events that browsers and phone keyboards send, and what the
// page makes of each (the browser tests play each row by its name):
//
// | row                                    | events, in order                                | what the page does                              |
// |----------------------------------------|-------------------------------------------------|-------------------------------------------------|
// | a desktop key                          | keydown with the key's name (iOS's keyboard     | at a line read the field's own (Enter delivers  |
// |                                        | too), then keypress, beforeinput, input for     | the line, Ctrl-D ends the input); else the      |
// |                                        | a text                                          | key, cancelled, is the program's                |
// | a key through an input method          | keydown 229 "Unidentified" (Android, WebKit's   | at a line read the field's own; at a key wait   |
// |                                        | emoji), its text in beforeinput and input       | the key, the text it inserts dropped; before    |
// |                                        |                                                 | the program is ready, the text as keys          |
// | Enter before the input method's text   | keydown Enter while a text is composed, the     | the line delivered once the composition has     |
// |                                        | text committed after it, compositionend         | ended                                           |
// | Android's rolled-over Enter            | keydown 229, keydown Enter, insertText, keyup   | the line delivered once the text is in the      |
// |                                        | 229, keyup Enter                                | field                                           |
// | replacement and autocorrect            | insertReplacementText, no key (iOS);            | the field's own                                 |
// |                                        | deleteContentBackward, insertText (Android)     |                                                 |
// | a paste with line breaks               | paste                                           | a line delivered at each break, what follows    |
// |                                        |                                                 | the last one left in the field                  |
// | a paste without line breaks            | paste                                           | at a line read the field's own; else its text   |
// |                                        |                                                 | as keys                                         |
// | an emoji                               | a key (Firefox), an input method's text         | as either                                       |
// |                                        | (chromium, WebKit)                              |                                                 |
// | a tap                                  | pointerdown, click on the console, unmoved      | at a key wait the key; the field focused, in    |
// |                                        |                                                 | the tap (a phone's keyboard comes up)           |
// | composing before the program is ready  | compositionstart, insertCompositionText         | the text left to the field while composed,      |
// |                                        | with all the text so far each time,             | then typed as keys                              |
// |                                        | compositionend                                  |                                                 |
import { keyLength } from './line_discipline.mjs';

// The codes a terminal sends for a key; null for what is not the program's
// (Tab, modifiers, function keys, the browser's own shortcuts).
const named = {
    Enter: '\r', Backspace: '\x7f', Escape: '\x1b', Insert: '\x1b[2~', Delete: '\x1b[3~',
    ArrowUp: '\x1b[A', ArrowDown: '\x1b[B', ArrowRight: '\x1b[C', ArrowLeft: '\x1b[D',
    Home: '\x1b[H', End: '\x1b[F', PageUp: '\x1b[5~', PageDown: '\x1b[6~',
};
function keyCodes(e) {
    if (e.altKey || e.metaKey) return null;
    if (e.ctrlKey) return e.key.toLowerCase() === 'd' ? '\x04' : null;
    if ([...e.key].length === 1) return e.key;
    return named[e.key] ?? null;
}

// A screen reader may drop a change to the page that comes within a tenth
// of a second of another one (Orca 48 does): the page says that a key wait
// waits only a moment after the wait began, once the lines drawn as it
// began have been told.
export const hintDelay = 300;

const isCtrl = (e, letter) => e.ctrlKey && !e.altKey && !e.metaKey && e.key.toLowerCase() === letter;
const viaInputMethod = e => e.keyCode === 229 || e.key === 'Unidentified' || e.key === 'Process';
const isLineBreak = e => e.inputType === 'insertLineBreak' || e.inputType === 'insertParagraph';

export class Keyboard {
    #tty = null; // the current run's line discipline
    #field;
    #hint;
    #hintTimer = 0;
    #drop = null; // the field's text, kept while a key that ended a key wait still sends text
    #textPending = false; // a key went down through an input method, its text not yet in the field
    #enterPending = false; // Enter came before that text: the line waits for it
    #composing = false;

    // field: the text field; hint: what says that a key wait waits;
    // scroller: the console, where a tap is a key.
    constructor(field, hint, scroller) {
        this.#field = field;
        this.#hint = hint;
        const document = field.ownerDocument;
        // (Autofill sends keys without a name.)
        document.addEventListener('keydown', e => this.#running() && typeof e.key === 'string' && this.#keydown(e));
        document.addEventListener('keyup', e => this.#keyup(e));
        field.addEventListener('beforeinput', e => this.#running() && this.#beforeinput(e));
        field.addEventListener('input', () => this.#input());
        field.addEventListener('compositionstart', () => (this.#composing = true));
        field.addEventListener('compositionend', () => this.#compositionend());
        field.addEventListener('paste', e => this.#running() && this.#paste(e));
        let pressedAt = [0, 0];
        scroller.addEventListener('pointerdown', e => (pressedAt = [e.clientX, e.clientY]));
        scroller.addEventListener('click', e => {
            const moved = Math.hypot(e.clientX - pressedAt[0], e.clientY - pressedAt[1]) > 10;
            if (this.#running() && !moved) this.#tap();
        });
    }

    // A run begins: its keys go to tty, typed into an empty field.
    attach(tty) {
        this.#tty = tty;
        this.#field.value = '';
        this.#field.disabled = this.#field.hidden = false;
        this.#field.focus();
    }

    // The run is over: the field goes with the focus, so that neither the
    // key that ended the run nor any after it presses anything.
    detach() {
        this.#field.disabled = this.#field.hidden = true;
        clearTimeout(this.#hintTimer);
        this.#hint.hidden = true;
    }

    // The program has begun a read or a key wait (or had it served at once).
    // A read goes on with the line typed ahead; a key wait takes the first
    // key of what the field holds. Once past the first key wait, the quiz has
    // started: the intro no longer describes the field.
    programWaits() {
        const field = this.#field;
        if (this.#tty.waitingFor !== 'key') field.removeAttribute('aria-describedby');
        if (this.#tty.waitingFor === 'line') {
            field.value = this.#tty.takeRest() + field.value;
        } else if (this.#tty.waitingFor === 'key' && field.value !== '' && !this.#composing) {
            const key = field.value.slice(0, keyLength(field.value));
            field.value = field.value.slice(key.length);
            this.#tty.type(key);
        }
        this.#showWait();
    }

    #running() {
        return this.#tty !== null && !this.#tty.closed;
    }

    #showWait() {
        clearTimeout(this.#hintTimer);
        if (this.#tty.waitingFor !== 'key') this.#hint.hidden = true;
        else if (this.#hint.hidden) this.#hintTimer = setTimeout(() => (this.#hint.hidden = false), hintDelay);
    }

    // Keys while no line is read: at a key wait the first is the key, and the
    // rest of a text sent with it is dropped; before the program is ready, all
    // wait in order.
    #press(keys) {
        this.#tty.type(this.#tty.waitingFor === 'key' ? keys.slice(0, keyLength(keys)) : keys);
        this.#showWait();
    }

    // What the field holds, taken out of it.
    #takeField() {
        const text = this.#field.value;
        this.#field.value = '';
        return text;
    }

    #enter() {
        this.#enterPending = false;
        this.#tty.deliver(this.#takeField());
    }

    #keydown(e) {
        this.#drop = null;
        if (isCtrl(e, 'c')) {
            if (selected(this.#field)) return; // copies, as terminals in browsers do
            e.preventDefault();
            this.#tty.interrupt();
        } else if (this.#tty.waitingFor === 'line') {
            this.#lineKey(e);
        } else if (viaInputMethod(e)) {
            // Its text follows in the field: dropped after a key wait's key,
            // typed ahead before (beforeinput).
            if (this.#tty.waitingFor === 'key') {
                this.#press('\0');
                this.#drop = this.#field.value;
            }
        } else {
            const keys = keyCodes(e);
            if (keys === null) return;
            e.preventDefault();
            this.#press(keys);
            if (document.activeElement !== this.#field) this.#field.focus();
        }
    }

    #lineKey(e) {
        if (isCtrl(e, 'd')) {
            e.preventDefault();
            this.#tty.endInput(this.#takeField());
        } else if (e.key === 'Enter') {
            e.preventDefault();
            if (this.#textPending || this.#composing || e.isComposing) this.#enterPending = true;
            else this.#enter();
        } else if (viaInputMethod(e)) {
            this.#textPending = true;
        }
    }

    #keyup(e) {
        if (!this.#composing) this.#drop = null;
        if (e.key === 'Enter' && this.#enterPending) this.#enter();
    }

    // A composition's text stays in the field until it ends: each update
    // holds all of it, and cannot be cancelled.
    #beforeinput(e) {
        if (this.#drop !== null) {
            e.preventDefault();
        } else if (this.#tty.waitingFor === 'line') {
            if (isLineBreak(e)) {
                e.preventDefault();
                this.#enter();
            }
        } else if (isLineBreak(e) || (e.data && !e.isComposing)) {
            e.preventDefault();
            this.#press(isLineBreak(e) ? '\r' : e.data);
        }
    }

    #input() {
        if (this.#drop !== null) {
            this.#field.value = this.#drop;
            return;
        }
        this.#textPending = false;
        if (this.#enterPending && !this.#composing) this.#enter();
    }

    #compositionend() {
        this.#composing = false;
        if (this.#drop !== null) {
            this.#field.value = this.#drop;
        } else if (this.#running() && this.#tty.waitingFor !== 'line') {
            const text = this.#takeField();
            if (text !== '') this.#press(text);
        } else if (this.#enterPending) {
            this.#enter();
        }
    }

    // A paste with line breaks delivers a line at each break; what follows the
    // last one stays in the field.
    #paste(e) {
        const text = e.clipboardData.getData('text/plain');
        const reading = this.#tty.waitingFor === 'line';
        if (reading && !/[\r\n]/.test(text)) return; // the field's own
        e.preventDefault();
        if (!reading) {
            if (text !== '') this.#press(text);
            return;
        }
        const field = this.#field;
        const [first, ...more] = text.split(/\r\n|\r|\n/);
        field.setRangeText(first, field.selectionStart, field.selectionEnd, 'end');
        for (const line of more) {
            const typed = field.value;
            field.value = line;
            this.#tty.deliver(typed);
        }
    }

    // A tap or click on the console: at a key wait, the key. It gives the
    // field the focus inside the tap, so that a phone raises its keyboard.
    #tap() {
        if (this.#tty.waitingFor === 'key') {
            this.#field.blur();
            this.#field.focus();
            this.#press(' ');
        } else if (document.activeElement !== this.#field) {
            this.#field.focus();
        }
    }
}

function selected(field) {
    const selection = field.ownerDocument.getSelection();
    return !selection.isCollapsed || field.selectionStart !== field.selectionEnd;
}
