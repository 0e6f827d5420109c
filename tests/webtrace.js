// node webtrace.js LIVRE.html SEED|--endings: the trace that the page writes with
// #graine=SEED&auto, played by the page's own script on its own data,
// without a browser.
"use strict";
const fs = require("fs");
const [file, seed] = process.argv.slice(2);
const html = fs.readFileSync(file, "utf8");
const data = /<script type="application\/json" id="livre"[^>]*>([^<]*)<\/script>/.exec(html)[1];
const script = /<script>([\s\S]*)<\/script><\/body>/.exec(html)[1];
const engine = {exports: {}};
new Function("module", script)(engine);
engine.exports.load(JSON.parse(data));
// With --endings instead of a seed: what the page says as an adventure
// ends at each entry, one line an entry.
process.stdout.write((seed === "--endings" ? engine.exports.endings().join("\n")
                                           : engine.exports.autoplay(Number(seed) >>> 0)) + "\n");
