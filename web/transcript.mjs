// How the transcript lays out a line, in the page and in the page as built:
// a line that opens with a short label and a space (a) , 1. , - ) goes on,
// once wrapped, under its text rather than under its label. The label's
// width in characters, or 0.
export function hangingIndent(line) {
    const label = /^(?:\S{1,3}[).:]|[-*•]) /.exec(line);
    return label ? label[0].length : 0;
}
