// The page around chisei: the program's console made of the browser's own
// elements. A transcript (role="log") holds what a terminal would show; the
// next line is typed in a real text field below it; a key wait takes one
// key press or one tap. At the end, the result is shown as a picture to
// share. window.chisei gives the transcript and promises of the current
// run's exit status and of its result.
import { Keyboard } from './keyboard.mjs';
import { Quiz } from './run.mjs';
import { Transcript } from './transcript.mjs';

const $ = id => document.getElementById(id);
const transcript = new Transcript($('transcript'), $('console'), $('app'));
const keyboard = new Keyboard($('answer'), $('hint'), $('console'));
const quiz = new Quiz(transcript, keyboard, { end: $('end'), endText: $('end-text'), again: $('again'),
    program: $('program'), picture: $('picture'), share: $('share') });
window.chisei = { transcript: $('transcript'), get exit() { return quiz.exit; }, get result() { return quiz.result; } };
quiz.start();
