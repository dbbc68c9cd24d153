// Reads an EDIFACT interchange (file given as argument, bytes in ISO 8859-1)
// with the npm package "edifact" and prints its segments as one JSON array:
// [{"name": "UNB", "elements": [["UNOC", "3"], ...]}, ...].
// Exit code 1 when the package refuses the interchange.
'use strict';
const fs = require('fs');
const Parser = require('edifact/parser.js');

const text = fs.readFileSync(process.argv[2]).toString('latin1');
const parser = new Parser();
parser.encoding('UNOC');
const segments = [];
let elements;
let components;
parser.on('opensegment', (name) => {
    elements = [];
    segments.push({ name, elements });
});
parser.on('element', () => {
    components = [];
    elements.push(components);
});
parser.on('component', (data) => components.push(data));
try {
    parser.write(text);
    parser.end();
} catch (e) {
    process.stderr.write(String(e && e.message ? e.message : e) + '\n');
    process.exit(1);
}
process.stdout.write(JSON.stringify(segments) + '\n');
