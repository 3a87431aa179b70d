'use strict';
// LD_PRELOAD for a child process. A sanitizer run (npm run test:sanitize)
// preloads its runtime into every Node process and names it in
// VARN_SANITIZER_PRELOAD; it has to stay first in the list, so a test that
// sets LD_PRELOAD builds the value here instead of replacing it.
function preload(...libraries) {
  return [process.env.VARN_SANITIZER_PRELOAD, ...libraries].filter(Boolean).join(' ');
}

module.exports = { preload };
