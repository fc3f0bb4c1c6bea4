// Under node, a WebAssembly program sees the host's environment variables
// (RUNAUDIT_FRAMES among them), as a native one does.
Module['preRun'] = Module['preRun'] || [];
Module['preRun'].push(function () {
  if (typeof process === 'object' && process.env) Object.assign(ENV, process.env);
});
