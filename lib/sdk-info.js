'use strict';
// Which libqcf the loaded add-on uses, told without calling into it: the
// library's path from the process's own list of mapped files, and whether it
// is the simulator from the library file itself, since only the simulator
// exports the qcfctl_ control functions (their names stand in the dynamic
// symbol table of an ELF file and in the export table of a DLL).
const fs = require('node:fs');
const path = require('node:path');
const { addonLocation } = require('./load');

// libqcf.so, libqcf.so.2, libqcf.dll, qcf.dll.
const LIBRARY_NAME = /^(lib)?qcf([.-][^/\\]*)?\.(so(\.[0-9.]+)?|dll|dylib)$/i;
const SIMULATOR_MARK = Buffer.from('\0qcfctl_reset\0', 'latin1');

// Files mapped into this process: /proc/self/maps on Linux, elsewhere the
// shared objects of Node's diagnostic report.
function loadedLibraries() {
  if (process.platform === 'linux') {
    try {
      return fs
        .readFileSync('/proc/self/maps', 'utf8')
        .split('\n')
        .map((line) => /^\S+\s+\S+\s+\S+\s+\S+\s+\d+\s+(\/.*?)(?: \(deleted\))?$/.exec(line))
        .filter(Boolean)
        .map((match) => match[1]);
    } catch {
      // Fall through to the report.
    }
  }
  const report = process.report.getReport();
  return Array.isArray(report.sharedObjects) ? report.sharedObjects : [];
}

function findLibrary() {
  const found = loadedLibraries().find((file) => LIBRARY_NAME.test(path.basename(file)));
  if (found) return found;
  // Without a list of loaded modules, the DLL beside the add-on, the first
  // place Windows looks.
  const beside = path.join(path.dirname(addonLocation().file), 'libqcf.dll');
  return process.platform === 'win32' && fs.existsSync(beside) ? beside : null;
}

let cached = null;

function sdkInfo() {
  if (!cached) {
    const file = findLibrary();
    if (!file) throw new Error('No libqcf is loaded in this process (no mapped file is named libqcf)');
    cached = Object.freeze({
      simulator: fs.readFileSync(file).includes(SIMULATOR_MARK),
      path: file,
      addon: addonLocation().file,
    });
  }
  return { ...cached };
}

module.exports = { sdkInfo };
