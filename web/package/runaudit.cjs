// runaudit for CommonJS: require('runaudit'). The checks load the ES module
// (the same module instance as an import gets); the explanation, which
// callers use synchronously, is built into this file from explain.js.
'use strict';

/*EXPLAIN_JS*/

let esm = null;
const load = () => (esm ??= import('./runaudit.js'));

module.exports = {
  check: async (bytes, options) => (await load()).check(bytes, options),
  view: async (bytes) => (await load()).view(bytes),
  evidence: async (bytes, options) => (await load()).evidence(bytes, options),
  version: async () => (await load()).version(),
  explain,
  verdictText,
};
