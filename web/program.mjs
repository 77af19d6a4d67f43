// The program's main, run to its end: a promise of its exit status. Each
// wait suspends main (Asyncify) and hands the caller back a promise; once
// main has been suspended, its status comes with Asyncify's promise of the
// end of what it started.
export function exitStatus(program) {
    const status = program._main();
    return program.Asyncify.currData ? program.Asyncify.whenDone() : Promise.resolve(status);
}
