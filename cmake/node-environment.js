// Under node, a WebAssembly program sees the host's environment variables,
// as a native one does: the programs and tests read their RUNAUDIT_FRAMES
// switch (the library reads none, and the npm module has no such pre-js).
Module['preRun'] = Module['preRun'] || [];
Module['preRun'].push(function () {
  // A program that never reads its environment has no ENV at all.
  if (typeof ENV === 'object' && typeof process === 'object' && process.env) Object.assign(ENV, process.env);
});
