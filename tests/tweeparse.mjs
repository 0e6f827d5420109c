// Reads a Twee 3 story with extwee, a parser of the Twine world, and
// prints what it read as JSON. Anything the parser says (a passage named
// twice, metadata it cannot read) fails.
//   node tweeparse.mjs NODE_MODULES STORY.twee
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const [modules, file] = process.argv.slice(2);
for (const level of ['log', 'info', 'warn', 'error']) {
    console[level] = (...words) => {
        process.stderr.write(words.join(' ') + '\n');
        process.exitCode = 1;
    };
}
const { parseTwee } = await import(pathToFileURL(path.join(modules, 'extwee', 'index.js')).href);
const story = parseTwee(readFileSync(file, 'utf8'));
process.stdout.write(JSON.stringify({
    title: story.name,
    ifid: story.IFID,
    start: story.start,
    format: story.format,
    passages: story.passages.map((p) => ({ name: p.name, tags: p.tags, metadata: p.metadata })),
}));
