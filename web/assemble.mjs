// Puts the page together into one self-contained file: the style sheet and
// the page script inline, and the worker (the compiled core followed by
// worker.js) as a plain-text block that the page starts as a worker from a
// blob. The project's THIRD-PARTY.md goes in as a folded section at the end
// of the page: the licences of what the compiled core embeds (the decoder
// libraries, emscripten's runtime) travel with the one file.
// Usage: node assemble.mjs PAGE_DIR CORE_JS VERSION OUTPUT_HTML
import { readFileSync, writeFileSync, renameSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const [pageDir, coreJs, version, output] = process.argv.slice(2);
if (!output) {
  console.error('usage: node assemble.mjs PAGE_DIR CORE_JS VERSION OUTPUT_HTML');
  process.exit(2);
}
const read = (name) => readFileSync(join(pageDir, name), 'utf8');

// Inline text must not end its element early or open a comment state.
function inlineSafe(text, what) {
  for (const bad of ['</script', '</style', '<!--']) {
    if (text.toLowerCase().includes(bad)) {
      console.error(`assemble: ${what} contains "${bad}" and cannot be inlined`);
      process.exit(1);
    }
  }
  return text;
}

const escapeHtml = (text) =>
  text.replaceAll('&', '&amp;').replaceAll('<', '&lt;').replaceAll('>', '&gt;');
const notices = readFileSync(join(dirname(fileURLToPath(import.meta.url)), '..', 'THIRD-PARTY.md'), 'utf8');
const noticeSection =
  '<details id="third-party-notices">\n<summary>Third-party software and licences</summary>\n' +
  `<pre style="white-space: pre-wrap">${escapeHtml(notices)}</pre>\n</details>\n</body>`;

const worker = inlineSafe(readFileSync(coreJs, 'utf8') + '\n' + read('worker.js'), 'the worker');
let html = read('index.html');
const swaps = [
  // First, while the only </body> is the page's own.
  ['</body>', noticeSection],
  ['<link rel="stylesheet" href="style.css">', `<style>\n${inlineSafe(read('style.css'), 'style.css')}</style>`],
  ['<script type="module" src="app.js"></script>',
   `<script type="text/plain" id="halvex-worker">${worker}</script>\n` +
   `<script type="module">\n${inlineSafe(read('app.js'), 'app.js')}</script>`],
];
for (const [from, to] of swaps) {
  if (!html.includes(from)) {
    console.error(`assemble: index.html lacks ${from}`);
    process.exit(1);
  }
  html = html.replace(from, () => to);
}
html = html.replaceAll('@VERSION@', version);
writeFileSync(output + '.part', html);
renameSync(output + '.part', output);
