'use strict';
// Reads the export and import tables of a 64-bit PE file (a DLL or a Node
// add-on), enough to check what a module file offers and needs.
const fs = require('node:fs');

function readPeImage(file) {
  const image = fs.readFileSync(file);
  const pe = image.readUInt32LE(0x3c);
  if (image.toString('latin1', pe, pe + 4) !== 'PE\0\0') throw new Error(`${file} is not a PE file`);
  const sectionCount = image.readUInt16LE(pe + 6);
  const optional = pe + 24;
  if (image.readUInt16LE(optional) !== 0x20b) throw new Error(`${file} is not a 64-bit image`);
  const directory = (index) => ({
    rva: image.readUInt32LE(optional + 112 + index * 8),
    size: image.readUInt32LE(optional + 116 + index * 8),
  });
  const sectionTable = optional + image.readUInt16LE(pe + 20);
  const sections = [];
  for (let i = 0; i < sectionCount; i += 1) {
    const at = sectionTable + i * 40;
    sections.push({
      rva: image.readUInt32LE(at + 12),
      size: Math.max(image.readUInt32LE(at + 8), image.readUInt32LE(at + 16)),
      offset: image.readUInt32LE(at + 20),
    });
  }
  const offsetOf = (rva) => {
    const section = sections.find((s) => rva >= s.rva && rva < s.rva + s.size);
    if (!section) throw new Error(`RVA 0x${rva.toString(16)} lies in no section`);
    return rva - section.rva + section.offset;
  };
  const textAt = (rva) => {
    const start = offsetOf(rva);
    return image.toString('latin1', start, image.indexOf(0, start));
  };

  const exports = [];
  const exportDir = directory(0);
  if (exportDir.size > 0) {
    const at = offsetOf(exportDir.rva);
    const names = offsetOf(image.readUInt32LE(at + 32));
    for (let i = 0; i < image.readUInt32LE(at + 24); i += 1) {
      exports.push(textAt(image.readUInt32LE(names + i * 4)));
    }
  }

  // DLL name -> names of the functions taken from it.
  const imports = new Map();
  const importDir = directory(1);
  if (importDir.size > 0) {
    for (let at = offsetOf(importDir.rva); image.readUInt32LE(at + 12) !== 0; at += 20) {
      const functions = [];
      const lookup = image.readUInt32LE(at) || image.readUInt32LE(at + 16);
      for (let thunk = offsetOf(lookup); ; thunk += 8) {
        const entry = image.readBigUInt64LE(thunk);
        if (entry === 0n) break;
        // The top bit marks an import by ordinal; a name sits behind a hint.
        functions.push(entry >> 63n ? `#${entry & 0xffffn}` : textAt(Number(entry) + 2));
      }
      imports.set(textAt(image.readUInt32LE(at + 12)).toLowerCase(), functions);
    }
  }
  return { exports, imports };
}

module.exports = { readPeImage };
